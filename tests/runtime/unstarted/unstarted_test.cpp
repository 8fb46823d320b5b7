// A program that never calls RuntimeStartup: its first object is refused with
// an error that names the missing call (no collection could ever run for it).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvex/runtime/log.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/startup.h"
#include "corvex/runtime/string.h"

namespace cvx {
namespace {

struct TPlain : TObject {};

TEST(UnstartedRuntime, TheFirstObjectIsAClearError) {
  ASSERT_FALSE(RuntimeStarted());
  std::vector<std::string> errors;
  SetLogSink([&](LogLevel level, std::string_view message) {
    if (level == LogLevel::Error) errors.emplace_back(message);
  });
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      Ref<TPlain> object = new TPlain();
      ADD_FAILURE() << "an object was made";
    } catch (const TRuntimeError& error) {
      EXPECT_NE(std::string(error.what()).find("RuntimeStartup was not called"), std::string::npos) << error.what();
    }
  }
  EXPECT_THROW(String("made at run time"), TRuntimeError);
  SetLogSink(nullptr);
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].find("RuntimeStartup"), std::string::npos) << errors[0];
  // Literals and the empty string are static: they need no start-up.
  EXPECT_EQ("literal"_s.Length(), 7);
  EXPECT_TRUE(String().IsEmpty());
}

TEST(UnstartedRuntime, StartingItLetsObjectsBeMade) {
  char name[] = "test_runtime_unstarted";
  char* argv[] = {name, nullptr};
  RuntimeStartup(1, argv);
  Ref<TPlain> object = new TPlain();
  EXPECT_TRUE(object);
}

}  // namespace
}  // namespace cvx
