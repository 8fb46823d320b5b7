// File and folder requesters through zenity, when it is installed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "corvex/runtime/filesystemname.h"
#include "corvex/system/platformhost.h"

extern char** environ;

namespace cvx {

namespace {

std::string SlashedPath(const String& path) {
  std::string text = FileSystemName(path);
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (true) {
    std::string::size_type end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

std::string Trimmed(const std::string& text) {
  std::string::size_type first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  std::string::size_type last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The zenity executable found on PATH, or "".
std::string FindZenity() {
  const char* path = std::getenv("PATH");
  if (!path) return std::string();
  for (const std::string& dir : Split(path, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir + "/zenity";
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return std::string();
}

}  // namespace

std::vector<std::string> ZenityFileFilters(const String& filter) {
  std::vector<std::string> filters;
  std::string text = filter.ToUtf8();
  if (text.empty()) return filters;
  // A text without a name ("bmp" or "png,jpg") is one group called "Files".
  if (text.find(':') == std::string::npos) text = "Files:" + text;
  for (const std::string& group : Split(text, ';')) {
    std::string::size_type colon = group.find(':');
    std::string name = Trimmed(colon == std::string::npos ? group : group.substr(0, colon));
    std::string patterns;
    if (colon != std::string::npos) {
      for (const std::string& extension : Split(group.substr(colon + 1), ',')) {
        std::string ext = Trimmed(extension);
        if (ext.empty()) continue;
        if (!patterns.empty()) patterns += ' ';
        patterns += "*." + ext;
      }
    }
    if (patterns.empty()) continue;  // a group without extensions offers nothing
    if (name.empty()) name = "Files";
    filters.push_back(name + " | " + patterns);
  }
  return filters;
}

std::vector<std::string> ZenityFileArguments(const String& title, const String& filter, int save,
                                             const String& initialPath) {
  std::vector<std::string> arguments{"--file-selection"};
  if (!title.IsEmpty()) arguments.push_back("--title=" + title.ToUtf8());
  if (save) {
    arguments.push_back("--save");
    arguments.push_back("--confirm-overwrite");
  }
  if (!initialPath.IsEmpty() && IsWholeFileSystemName(initialPath)) {
    arguments.push_back("--filename=" + SlashedPath(initialPath));
  }
  for (const std::string& entry : ZenityFileFilters(filter)) arguments.push_back("--file-filter=" + entry);
  return arguments;
}

std::vector<std::string> ZenityFolderArguments(const String& title, const String& initialPath) {
  std::vector<std::string> arguments{"--file-selection", "--directory"};
  if (!title.IsEmpty()) arguments.push_back("--title=" + title.ToUtf8());
  if (!initialPath.IsEmpty() && IsWholeFileSystemName(initialPath)) {
    // A trailing slash makes zenity open the folder itself rather than its parent.
    std::string path = SlashedPath(initialPath);
    if (path.back() != '/') path += '/';
    arguments.push_back("--filename=" + path);
  }
  return arguments;
}

String RunZenity(const std::vector<std::string>& arguments) {
  std::string program = FindZenity();
  if (program.empty()) return String();

  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) return String();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // GTK's warnings are of no use to the program.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  std::vector<char*> argv;
  argv.push_back(program.data());
  std::vector<std::string> copies(arguments);
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(output[1]);
  if (failed != 0) {
    close(output[0]);
    return String();
  }

  std::string text;
  char buffer[4096];
  while (true) {
    ssize_t n = read(output[0], buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(output[0]);

  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return String();
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return String();
  std::string::size_type newline = text.find('\n');
  if (newline != std::string::npos) text.resize(newline);
  // The answer is a path: kept as the file system's bytes so that it opens.
  return StringOfFileSystemName(text);
}

}  // namespace cvx
