/// @file
/// The stream module's own openers, created by InitStream alone and in one
/// fixed order, so that the list is asked in the same order whichever module a
/// program starts first: the text encodings, "http", "tcp", the endian
/// filters, "incbin", banks, "data".
#pragma once

#include "corvex/stream/stream.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

class String;

namespace detail {

void CreateDataOpener();
void CreateBankOpener();
void CreateIncbinOpener();
void CreateEndianOpener();
void CreateNetworkOpeners();  ///< "tcp", then "http"
void CreateTextOpener();

}  // namespace detail

/// How "tcp::" and "http::" paths become connected streams. The network module
/// installs them when it starts; until then those urls give null.
using NetworkUrlConnect = Ref<TByteStream> (*)(const String& path);
/// Installs the connectors of the "tcp" and "http" openers (null: those urls
/// give null).
void SetNetworkUrlConnects(NetworkUrlConnect tcp, NetworkUrlConnect http);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
