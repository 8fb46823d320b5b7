#include "corvex/filesystem/filesystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "corvex/runtime/log.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/url.h"

namespace cvx {
namespace {

std::string Std(const String& s) { return s.ToStd(); }

TEST(PathTextTest, NormaliseAndTrim) {
  EXPECT_EQ(Std(NormalisePath("a\\b\\", false)), "a/b/");
  EXPECT_EQ(Std(NormalisePath("a\\b\\", true)), "a/b");
  EXPECT_EQ(Std(NormalisePath("C:", false)), "C:/");
  EXPECT_EQ(Std(NormalisePath("C:foo", false)), "C:/foo");
  EXPECT_EQ(Std(NormalisePath("C:/", true)), "C:/");
  EXPECT_EQ(Std(NormalisePath("", true)), "");
  EXPECT_EQ(Std(TrimTrailingSlash("/")), "/");
  EXPECT_EQ(Std(TrimTrailingSlash("C:/")), "C:/");
  EXPECT_EQ(Std(TrimTrailingSlash("/a/")), "/a");
}

TEST(PathTextTest, AbsolutePathsResolveDots) {
  EXPECT_EQ(Std(AbsolutePath("C:/x/../y/./z")), "C:/y/z");
  EXPECT_EQ(Std(AbsolutePath("C:/..")), BadDirectory);
  EXPECT_EQ(Std(AbsolutePath("/a/b/../../c")), "/c");
  EXPECT_EQ(Std(AbsolutePath("/a/..")), "/");
  EXPECT_EQ(Std(AbsolutePath("/..")), BadDirectory);
  EXPECT_EQ(Std(AbsolutePath("//a///b/")), "/a/b");
  std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(Std(AbsolutePath(".")), cwd);
  EXPECT_EQ(Std(AbsolutePath("")), cwd);
  EXPECT_EQ(Std(AbsolutePath("q/./r")), cwd + "/q/r");
}

TEST(PathTextTest, NamePartsOfPaths) {
  EXPECT_EQ(Std(DirectoryOf("/a/b")), "/a");
  EXPECT_EQ(Std(DirectoryOf("/a")), "");
  EXPECT_EQ(Std(DirectoryOf("/")), BadDirectory);
  EXPECT_EQ(Std(DirectoryOf("C:/x")), "C:/");
  EXPECT_EQ(Std(DirectoryOf("name")), BadDirectory);
  EXPECT_EQ(Std(WithoutExtension("dir.d/file")), "dir.d/file");
  EXPECT_EQ(Std(ExtensionOf("dir.d/file")), "");
  EXPECT_EQ(Std(ExtensionOf("a.tar.gz")), "gz");
  EXPECT_EQ(Std(WithoutExtension("x/a.tar.gz")), "x/a.tar");
  EXPECT_EQ(Std(FileNameOf("x/y/a.png")), "a.png");
  EXPECT_EQ(Std(FileNameOf("plain")), "plain");
  EXPECT_EQ(Std(BaseNameOf("x.y/a.png")), "a");
}

TEST(PathTextTest, NamePartsReadBackslashesAsSlashes) {
  EXPECT_EQ(Std(FileNameOf("x\\y\\a.png")), "a.png");
  EXPECT_EQ(Std(BaseNameOf("x.y\\a.png")), "a");
  EXPECT_EQ(Std(WithoutExtension("dir.d\\file")), "dir.d/file");
  EXPECT_EQ(Std(ExtensionOf("dir.d\\file")), "");
  EXPECT_EQ(Std(ExtensionOf("x\\a.tar.gz")), "gz");
  EXPECT_EQ(Std(WithoutExtension("x\\a.tar.gz")), "x/a.tar");
  EXPECT_EQ(Std(DirectoryOf("x\\a.png")), "x");
  // Whatever the separator, the parts agree with each other.
  for (const char* path : {"a\\b.c\\d.e", "a/b.c/d.e", "C:x\\y.z", "\\only.ext"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Std(BaseNameOf(path)), Std(WithoutExtension(FileNameOf(path))));
  }
}

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitFileSystem();
    std::string pattern = (std::filesystem::temp_directory_path() / "corvex-fs-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir = name.data();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  String In(const std::string& name) const { return String(dir + "/" + name); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::string dir;
};

TEST_F(FileSystemTest, QueriesOfFilesDirectoriesAndMissingPaths) {
  Write("f.txt", "hello");
  EXPECT_EQ(PathKind(In("f.txt")), PathFile);
  EXPECT_EQ(PathKind(String(dir)), PathDirectory);
  EXPECT_EQ(PathKind(In("missing")), PathMissing);
  EXPECT_EQ(PathSize(In("f.txt")), 5);
  EXPECT_EQ(PathSize(In("missing")), -1);
  EXPECT_EQ(PathModifiedTime(In("missing")), 0);
  EXPECT_GT(PathModifiedTime(In("f.txt")), 1600000000);
  EXPECT_EQ(PathPermissions(In("missing")), -1);
  EXPECT_TRUE(SetPathPermissions(In("f.txt"), 0640));
  EXPECT_EQ(PathPermissions(In("f.txt")), 0640);
  EXPECT_EQ(PathKind(String(dir + "\\f.txt")), PathFile);  // backslashes normalised
}

TEST_F(FileSystemTest, MakingAndRemovingFilesAndDirectories) {
  Write("e.txt", "content");
  EXPECT_TRUE(MakeEmptyFile(In("e.txt")));
  EXPECT_EQ(PathSize(In("e.txt")), 0);
  EXPECT_TRUE(MakeDirectory(In("one/"), false));
  EXPECT_FALSE(MakeDirectory(In("x/y"), false));
  EXPECT_TRUE(MakeDirectory(In("a/b/c/"), true));
  EXPECT_EQ(PathKind(In("a/b/c")), PathDirectory);
  EXPECT_TRUE(MakeDirectory(In("a/b"), true));  // already there
  EXPECT_FALSE(MakeDirectory(In("e.txt/sub"), true));
  Write("a/b/c/deep.txt", "x");
  Write("a/top.txt", "y");
  EXPECT_FALSE(RemoveDirectory(In("a"), false));  // not empty
  EXPECT_TRUE(RemoveDirectory(In("a"), true));
  EXPECT_EQ(PathKind(In("a")), PathMissing);
  EXPECT_TRUE(RemoveFile(In("e.txt")));
  EXPECT_TRUE(RemoveFile(In("e.txt")));  // nothing there either way
  ASSERT_TRUE(MakeDirectory(In("notafile"), false));
  SetLogSink([](LogLevel, std::string_view) {});
  EXPECT_FALSE(RemoveFile(In("notafile")));  // a directory, even an empty one, is no file
  SetLogSink(nullptr);
  EXPECT_EQ(PathKind(In("notafile")), PathDirectory);
  EXPECT_FALSE(RemoveDirectory(In("nothing"), true));
}

TEST_F(FileSystemTest, RecursiveRemovalDoesNotFollowLinks) {
  ASSERT_TRUE(MakeDirectory(In("keep"), false));
  Write("keep/precious.txt", "p");
  ASSERT_TRUE(MakeDirectory(In("gone"), false));
  ASSERT_EQ(::symlink((dir + "/keep").c_str(), (dir + "/gone/link").c_str()), 0);
  EXPECT_TRUE(RemoveDirectory(In("gone"), true));
  EXPECT_EQ(PathKind(In("keep/precious.txt")), PathFile);
}

// Decoys beside the tree that a removal must leave as they are: a file, a
// whole directory, and the targets of links inside the tree.
TEST_F(FileSystemTest, RecursiveRemovalChangesNothingOutsideTheTree) {
  Write("precious", "p");
  ASSERT_TRUE(MakeDirectory(In("beside/inner"), true));
  Write("beside/inner/kept.txt", "k");
  ASSERT_TRUE(MakeDirectory(In("tree/sub/deeper"), true));
  Write("tree/..\\precious", "name with a backslash");
  ASSERT_EQ(::mkdir((dir + "/tree/..\\beside").c_str(), 0777), 0);
  Write("tree/..\\beside/inner", "a directory whose name climbs out");
  Write("tree/sub/deeper/plain.txt", "x");
  ASSERT_EQ(::symlink((dir + "/beside").c_str(), (dir + "/tree/dirlink").c_str()), 0);
  ASSERT_EQ(::symlink((dir + "/nowhere").c_str(), (dir + "/tree/sub/dangling").c_str()), 0);
  ASSERT_EQ(::symlink((dir + "/precious").c_str(), (dir + "/tree/filelink").c_str()), 0);

  EXPECT_TRUE(RemoveDirectory(In("tree"), true));

  struct stat info;
  EXPECT_NE(::lstat((dir + "/tree").c_str(), &info), 0);
  EXPECT_EQ(PathSize(In("precious")), 1);
  EXPECT_EQ(PathSize(In("beside/inner/kept.txt")), 1);
  EXPECT_EQ(PathKind(In("beside/inner")), PathDirectory);
}

TEST_F(FileSystemTest, RecursiveRemovalOfALinkRemovesTheLinkOnly) {
  ASSERT_TRUE(MakeDirectory(In("target"), false));
  Write("target/kept.txt", "k");
  ASSERT_EQ(::symlink((dir + "/target").c_str(), (dir + "/link").c_str()), 0);
  EXPECT_TRUE(RemoveDirectory(In("link/"), true));
  struct stat info;
  EXPECT_NE(::lstat((dir + "/link").c_str(), &info), 0);
  EXPECT_EQ(PathSize(In("target/kept.txt")), 1);

  ASSERT_EQ(::symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str()), 0);
  EXPECT_TRUE(RemoveDirectory(In("dangling"), true));
  EXPECT_NE(::lstat((dir + "/dangling").c_str(), &info), 0);
}

TEST_F(FileSystemTest, FailuresLogWhatFailedAndWhy) {
  std::vector<std::string> warnings;
  SetLogSink([&](LogLevel level, std::string_view message) {
    if (level == LogLevel::Warning) warnings.emplace_back(message);
  });
  EXPECT_FALSE(RenamePath(In("missing"), In("other")));
  EXPECT_FALSE(RemoveDirectory(In("missing"), true));
  EXPECT_FALSE(MakeDirectory(In("missing/child"), false));
  ASSERT_TRUE(MakeDirectory(In("full"), false));
  Write("full/file", "x");
  EXPECT_FALSE(RemoveDirectory(In("full"), false));
  EXPECT_TRUE(RemoveFile(In("missing")));  // nothing there is success, not a failure
  SetLogSink(nullptr);
  ASSERT_EQ(warnings.size(), 4u);
  for (const std::string& text : warnings) EXPECT_NE(text.find(dir), std::string::npos) << text;
  EXPECT_NE(warnings[0].find(std::strerror(ENOENT)), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[3].find(std::strerror(ENOTEMPTY)), std::string::npos) << warnings[3];
}

TEST_F(FileSystemTest, RenameListAndWorkingDirectory) {
  Write("old.txt", "1");
  EXPECT_TRUE(RenamePath(In("old.txt"), In("new.txt")));
  EXPECT_FALSE(RenamePath(In("old.txt"), In("other.txt")));
  Write("second.txt", "2");
  Array<String> names = ListDirectory(String(dir + "/"), true);
  std::vector<std::string> got;
  for (std::int32_t i = 0; i < names->Length(); ++i) got.push_back(Std((*names)[i]));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"new.txt", "second.txt"}));
  EXPECT_EQ(ListDirectory(String(dir), false)->Length(), 4);
  EXPECT_EQ(ListDirectory(In("missing"), true)->Length(), 0);
  EXPECT_FALSE(OpenDirectoryListing(In("missing")));
  Ref<TDirectoryListing> listing = OpenDirectoryListing(String(dir));
  ASSERT_TRUE(listing);
  int entries = 0;
  while (!NextDirectoryEntry(listing.Get()).IsEmpty()) ++entries;
  EXPECT_EQ(entries, 4);
  CloseDirectoryListing(listing.Get());
  EXPECT_TRUE(NextDirectoryEntry(listing.Get()).IsEmpty());

  String before = WorkingDirectory();
  EXPECT_TRUE(SetWorkingDirectory(String(dir + "/")));
  EXPECT_EQ(Std(WorkingDirectory()), std::filesystem::canonical(dir).string());
  EXPECT_EQ(PathKind("new.txt"), PathFile);
  EXPECT_FALSE(SetWorkingDirectory(In("missing")));
  EXPECT_TRUE(SetWorkingDirectory(before));
}

// A name holding a NUL unit (or a unit whose low byte is 0) cannot reach the
// system whole: cut at that byte it would name another file.
TEST_F(FileSystemTest, NamesWithANulByteNameNothing) {
  Write("keep.txt", "precious");
  ASSERT_TRUE(MakeDirectory(In("tree"), false));
  Write("tree/inside.txt", "kept");
  auto cut = [&](const std::string& name, const char* tail) {
    return In(name) + String(std::string_view("\0", 1)) + String(tail);
  };
  const String fileName = cut("keep.txt", ".bak");
  const String wideZero = In("keep.txt") + OfChar(0x100);  // low byte 0
  const String treeName = cut("tree", "/other");
  SetLogSink([](LogLevel, std::string_view) {});
  EXPECT_EQ(PathKind(fileName), PathMissing);
  EXPECT_EQ(PathKind(wideZero), PathMissing);
  EXPECT_EQ(PathSize(fileName), -1);
  EXPECT_EQ(PathModifiedTime(fileName), 0);
  EXPECT_EQ(PathPermissions(fileName), -1);
  EXPECT_FALSE(SetPathPermissions(fileName, 0));
  EXPECT_FALSE(MakeEmptyFile(fileName));
  EXPECT_FALSE(RemoveFile(fileName));
  EXPECT_FALSE(RemoveFile(wideZero));
  EXPECT_FALSE(RenamePath(fileName, In("moved.txt")));
  EXPECT_FALSE(RenamePath(In("keep.txt"), cut("moved.txt", "")));
  EXPECT_FALSE(RemoveDirectory(treeName, true));
  EXPECT_FALSE(RemoveDirectory(treeName, false));
  EXPECT_FALSE(MakeDirectory(cut("made", "/x"), false));
  EXPECT_FALSE(MakeDirectory(cut("made", "/x"), true));
  EXPECT_FALSE(OpenDirectoryListing(treeName));
  EXPECT_EQ(ListDirectory(treeName, true)->Length(), 0);
  EXPECT_FALSE(SetWorkingDirectory(treeName));
  EXPECT_FALSE(OpenReadFile(fileName));
  EXPECT_FALSE(OpenWriteFile(fileName));
  SetLogSink(nullptr);

  EXPECT_EQ(PathSize(In("keep.txt")), 8);
  EXPECT_EQ(PathPermissions(In("keep.txt")) & 0600, 0600);
  EXPECT_EQ(PathSize(In("tree/inside.txt")), 4);
  EXPECT_EQ(PathKind(In("made")), PathMissing);
  EXPECT_EQ(PathKind(In("moved.txt")), PathMissing);
}

// When the working directory is gone, a relative path has no absolute form:
// it must not turn into the same path under the root.
TEST_F(FileSystemTest, RelativePathsWithoutAWorkingDirectoryStayUnresolved) {
  ASSERT_TRUE(MakeDirectory(In("gone"), false));
  String before = WorkingDirectory();
  ASSERT_TRUE(SetWorkingDirectory(In("gone")));
  ASSERT_TRUE(RemoveDirectory(In("gone"), false));
  SetLogSink([](LogLevel, std::string_view) {});
  EXPECT_EQ(Std(WorkingDirectory()), "");
  const std::string name = "corvex-" + std::to_string(::getpid()) + "-q";
  EXPECT_EQ(Std(AbsolutePath(String(name + "/r"))), "");
  EXPECT_EQ(Std(AbsolutePath(".")), "");
  EXPECT_EQ(Std(AbsolutePath("/a/../b")), "/b");  // absolute paths need no working directory
  EXPECT_FALSE(MakeDirectory(String(name + "/r"), true));
  SetLogSink(nullptr);
  EXPECT_TRUE(SetWorkingDirectory(before));
  EXPECT_EQ(PathKind(String("/" + name)), PathMissing);
  ::rmdir(("/" + name + "/r").c_str());
  ::rmdir(("/" + name).c_str());
}

// A source without a position, as a socket or an http body is.
class TUnpositioned final : public TByteStream {
 public:
  explicit TUnpositioned(std::string bytes) : bytes_(std::move(bytes)) {}
  int AtEnd() override { return at_ >= bytes_.size(); }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(count), std::min<std::size_t>(bytes_.size() - at_, 700));
    std::copy_n(bytes_.data() + at_, n, static_cast<char*>(buffer));
    at_ += n;
    return static_cast<std::int32_t>(n);
  }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

TEST_F(FileSystemTest, FileStreamsCanAlwaysSeek) {
  Write("data.bin", "0123456789");
  Ref<TByteStream> file = OpenReadFile(In("data.bin"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Seek(4), 4);
  EXPECT_EQ(file->ReadUInt8(), '4');
  CloseFileStream(file.Get());

  std::string body(2000, 'b');
  body[1999] = 'z';
  Ref<TByteStream> seekable = OpenReadFile(Ref<TObject>(new TUnpositioned(body)));
  ASSERT_TRUE(RefCast<TBankByteStream>(seekable));
  EXPECT_EQ(seekable->Position(), 0);
  EXPECT_EQ(seekable->Size(), 2000);
  EXPECT_EQ(seekable->Seek(1999), 1999);
  EXPECT_EQ(seekable->ReadUInt8(), 'z');

  EXPECT_FALSE(OpenReadFile(In("missing")));
  Ref<TByteStream> out = OpenWriteFile(In("w.bin"));
  ASSERT_TRUE(out);
  out->WriteInt32(7);
  CloseFileStream(out.Get());
  EXPECT_EQ(PathSize(In("w.bin")), 4);
}

}  // namespace
}  // namespace cvx
