// Running a child process and talking to it through pipe streams: the program
// starts a worker, sends it requests line by line on its standard input and
// reads the answers from its standard output, without ever blocking.
//
// Shows: LaunchChildProcess with a command line; WriteTextLine on the child's
// stream; ReadTextLine, which gives the next whole line or "" when none has
// arrived yet, so a game loop can poll it every frame; the error stream;
// waiting for the child to end and reading its exit code. The worker here is
// this same program started with --worker, but it could be any program that
// reads its standard input. No window is needed.
//
//   example-child-process            the parent
//   example-child-process --worker   the worker (started by the parent)
#include <corvex/app/app.h>
#include <corvex/process/childprocess.h>
#include <corvex/process/pipestream.h>
#include <corvex/runtime/startup.h>
#include <corvex/system/system.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

using namespace cvx;

namespace {

// The worker: plain standard input and output, one answer line per request.
int Worker() {
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, stdin)) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::istringstream words(line);
    std::string verb, rest;
    words >> verb;
    std::getline(words >> std::ws, rest);
    if (verb == "bye") return 0;
    if (verb == "sum") {
      long total = 0;
      for (std::istringstream numbers(rest); numbers >> verb;) total += std::atol(verb.c_str());
      std::printf("%ld\n", total);
    } else if (verb == "upper") {
      std::transform(rest.begin(), rest.end(), rest.begin(), [](unsigned char c) { return std::toupper(c); });
      std::printf("%s\n", rest.c_str());
    } else {
      std::fprintf(stderr, "worker: unknown request '%s'\n", verb.c_str());
      std::printf("?\n");
    }
    std::fflush(stdout);  // the parent waits for the line, not for a full buffer
  }
  return 0;
}

// Waits up to five seconds for the child's next line; a game would instead
// look once a frame and carry on drawing.
String NextLine(TChildProcess* child) {
  for (const int start = Millis(); Millis() - start < 5000; Pause(1)) {
    String line = child->standardStream->ReadTextLine();
    if (!line.IsEmpty()) return line;
  }
  return ""_s;
}

int Parent() {
  // Quoted, so that a folder with blanks in its name still works.
  Ref<TChildProcess> child = LaunchChildProcess(Concat(Concat("\""_s, AppFile()), "\" --worker"_s), 0);
  if (!child) {
    std::fprintf(stderr, "the worker could not be started\n");
    return 1;
  }
  const char* requests[][2] = {{"sum 1 2 3 4", "10"}, {"upper hello pipes", "HELLO PIPES"}, {"jump", "?"}};
  bool ok = true;
  for (const auto& request : requests) {
    child->standardStream->WriteTextLine(String(request[0]));
    const String answer = NextLine(child.Get());
    std::printf("%-20s -> %s\n", request[0], answer.ToStd().c_str());
    ok = ok && answer == String(request[1]);
  }
  // What the worker wrote on its standard error so far (bytes, not lines).
  Array<std::uint8_t> errors = child->errorStream->ReadAvailable();
  if (errors && errors->Length() > 0)
    std::printf("worker's error stream: %.*s", int(errors->Length()), (const char*)&(*errors)[0]);

  child->standardStream->WriteTextLine("bye"_s);
  for (const int start = Millis(); child->IsRunning() && Millis() - start < 5000;) Pause(1);
  std::printf("the worker ended with code %d\n", child->ExitCode());
  ok = ok && child->ExitCode() == 0;
  child->CloseStreams();
  return ok ? 0 : 1;
}

int Main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--worker") == 0) return Worker();
  return Parent();
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Main); }
