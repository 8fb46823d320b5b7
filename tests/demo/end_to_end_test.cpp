// The demo program itself on the X display: driven with xdotool, watched
// through screenshots (ImageMagick's import), the texts read back against the
// built-in font's glyphs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

struct Rgb {
  int r, g, b;
};

class Screen {
 public:
  explicit Screen(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
  bool Valid() const { return bytes_.size() == static_cast<std::size_t>(kWidth) * kHeight * 3; }
  // A short capture (import can be cut off while the window changes) reads as
  // black rather than past its end.
  Rgb At(int x, int y) const {
    if (!Valid() || x < 0 || y < 0 || x >= kWidth || y >= kHeight) return {0, 0, 0};
    const unsigned char* p = &bytes_[(static_cast<std::size_t>(y) * kWidth + x) * 3];
    return {p[0], p[1], p[2]};
  }
  const std::vector<unsigned char>& Bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
};

// The 8 x 16 glyph table: byte row * 96 + (code - 32), bit k = column k.
class Font {
 public:
  Font() {
    std::ifstream in(CORVEX_FONT_TABLE, std::ios::binary);
    table_.assign(std::istreambuf_iterator<char>(in), {});
  }
  bool Valid() const { return table_.size() == 1536; }
  bool Ink(char c, int column, int row) const {
    const int code = static_cast<unsigned char>(c);
    if (code < 32 || code > 127) return false;
    return (table_[static_cast<std::size_t>(row) * 96 + (code - 32)] >> column) & 1;
  }

 private:
  std::vector<char> table_;
};

bool Bright(Rgb c) { return c.r > 190 && c.g > 190 && c.b > 190; }

// Pixels of one 8 x 16 cell at (x, y) that disagree with the glyph: ink that
// is not bright, or bright pixels where the glyph has none.
int CellMismatches(const Screen& s, const Font& font, char c, int x, int y) {
  int wrong = 0;
  for (int row = 0; row < 16; ++row)
    for (int column = 0; column < 8; ++column)
      if (font.Ink(c, column, row) != Bright(s.At(x + column, y + row))) ++wrong;
  return wrong;
}

// The text drawn at (x, y): every cell within a few stray pixels (stars of
// the sky behind) of its glyph.
bool ShowsText(const Screen& s, const Font& font, const std::string& text, int x, int y) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (CellMismatches(s, font, text[i], x + 8 * static_cast<int>(i), y) > 3) return false;
  return true;
}

// Reads the decimal number drawn after a known prefix: each cell is the digit
// it matches best; the number ends at the first cell that matches no digit.
std::optional<long> NumberAfter(const Screen& s, const Font& font, const std::string& prefix, int x, int y) {
  if (!ShowsText(s, font, prefix, x, y)) return std::nullopt;
  std::string digits;
  for (int cell = static_cast<int>(prefix.size()); cell < 40; ++cell) {
    int best = 1000;
    char bestDigit = 0;
    for (char d = '0'; d <= '9'; ++d) {
      int m = CellMismatches(s, font, d, x + 8 * cell, y);
      if (m < best) {
        best = m;
        bestDigit = d;
      }
    }
    if (best > 3) break;
    digits += bestDigit;
  }
  if (digits.empty()) return std::nullopt;
  return std::stol(digits);
}

// Pixels of a colour class, and their median position.
struct Blob {
  int count = 0;
  int x = 0, y = 0;
};
template <class Pred>
Blob Find(const Screen& s, Pred pred, int top = 0, int bottom = kHeight) {
  std::vector<int> xs, ys;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (pred(s.At(x, y))) {
        xs.push_back(x);
        ys.push_back(y);
      }
  Blob b;
  b.count = static_cast<int>(xs.size());
  if (b.count) {
    std::nth_element(xs.begin(), xs.begin() + b.count / 2, xs.end());
    std::nth_element(ys.begin(), ys.begin() + b.count / 2, ys.end());
    b.x = xs[b.count / 2];
    b.y = ys[b.count / 2];
  }
  return b;
}
// How the craft's red parts (stripe, fin tip, wing band) lean: the slope of
// their y against their x. Nose up (toward the right) gives a smaller slope
// than level flight, nose down a larger one.
template <class Pred>
double Lean(const Screen& s, Pred pred, int top, int bottom) {
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (pred(s.At(x, y))) {
        n += 1;
        sx += x;
        sy += y;
        sxx += static_cast<double>(x) * x;
        sxy += static_cast<double>(x) * y;
      }
  if (n < 2) return 0;
  const double varX = sxx / n - (sx / n) * (sx / n);
  return varX > 0 ? (sxy / n - (sx / n) * (sy / n)) / varX : 0;
}
bool FireColoured(Rgb c) { return c.r > 120 && c.r > c.g + 40 && c.r > c.b + 80; }
bool CraftRed(Rgb c) { return c.r > 170 && c.g < 70 && c.b < 70; }
bool SparkBlue(Rgb c) { return c.b > 150 && c.b > c.r + 50; }

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int Shell(const std::string& command) { return std::system(command.c_str()); }

class DemoProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(font_.Valid()) << CORVEX_FONT_TABLE;
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test runs one)";
    shot_ = testing::TempDir() + "corvex_demo_shot.rgb";
    errors_ = testing::TempDir() + "corvex_demo_stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // Not the test's own output: a demo left behind by a test that died must
    // not hold ctest's pipe open until the time-out.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(CORVEX_DEMO_PROGRAM), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, CORVEX_DEMO_PROGRAM, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  void TearDown() override {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // A whole capture of the screen; import is asked again when it gives a
  // short one.
  Screen Shot() {
    for (int attempt = 0;; ++attempt) {
      std::remove(shot_.c_str());
      Shell("import -window root -depth 8 rgb:" + shot_ + " 2>/dev/null");
      std::ifstream in(shot_, std::ios::binary);
      Screen s(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
      if (s.Valid() || attempt == 4) return s;
      Sleep(100);
    }
  }

  // Takes screenshots until `ok` holds for one, for at most `ms`.
  template <class Pred>
  std::optional<Screen> WaitFor(Pred ok, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      Screen s = Shot();
      if (s.Valid() && ok(s)) return s;
      if (Exited()) return std::nullopt;
      Sleep(150);
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
  }
  // Holds a key until a screenshot taken while it is held shows what it should
  // (or ms pass), then releases it and returns that screenshot (the latest one
  // when time ran out). Waiting for the effect rather than for a fixed time
  // holds on a loaded machine long enough, and on a quick one not so long
  // that the craft runs off the screen.
  template <class Pred>
  Screen HoldUntil(const std::string& key, Pred reached, int ms) {
    Shell("xdotool keydown " + key);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    Screen last = Shot();
    while (!(last.Valid() && reached(last)) && std::chrono::steady_clock::now() < end && !Exited()) {
      Sleep(50);
      last = Shot();
    }
    Shell("xdotool keyup " + key);
    return last;
  }
  bool Shows(const Screen& s, const std::string& text, int x, int y) { return ShowsText(s, font_, text, x, y); }
  std::optional<long> Number(const Screen& s, const std::string& prefix, int x, int y) {
    return NumberAfter(s, font_, prefix, x, y);
  }

  bool Exited() {
    if (exited_) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      status_ = status;
    }
    return exited_;
  }
  std::string Errors() {
    std::ifstream in(errors_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  Font font_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
  std::string shot_, errors_;
};

TEST_F(DemoProgramTest, BothScenesRunAsDrivenFromKeyboardAndMouse) {
  const std::string escPrompt = "Appuyer sur ESC pour la suite";
  auto sceneOne = WaitFor([&](const Screen& s) { return Shows(s, escPrompt, 0, 748); }, 30000);
  ASSERT_TRUE(sceneOne) << "scene 1 never showed its prompt; stderr: " << Errors();

  // The reading is exact: one pixel off, or another text, does not match.
  EXPECT_FALSE(Shows(*sceneOne, escPrompt, 0, 747));
  EXPECT_FALSE(Shows(*sceneOne, escPrompt, 1, 748));
  EXPECT_FALSE(Shows(*sceneOne, "Appuyer sur ESC pour la fin", 0, 748));
  // The HUD of scene 1 at (0, 20) and (0, 40).
  auto memory = Number(*sceneOne, "Memoire allouee par l'application : ", 0, 20);
  ASSERT_TRUE(memory);
  EXPECT_GT(*memory, 0);
  auto fpsShown = WaitFor(
      [&](const Screen& s) {
        auto fps = Number(s, "FPS = ", 0, 40);
        return fps && *fps > 0;
      },
      15000);
  EXPECT_TRUE(fpsShown) << "FPS never rose above 0";

  // The backgrounds scroll: consecutive frames differ above the hills.
  Screen a = Shot();
  Sleep(400);
  Screen b = Shot();
  ASSERT_TRUE(a.Valid() && b.Valid());
  int changed = 0;
  for (int y = 100; y < 350; ++y)
    for (int x = 0; x < kWidth; ++x) changed += a.At(x, y).r != b.At(x, y).r || a.At(x, y).b != b.At(x, y).b;
  EXPECT_GT(changed, 2000);

  // The craft and its fire trail.
  Blob craft = Find(b, CraftRed, 0, kHeight);
  ASSERT_GT(craft.count, 30) << "no craft on screen";
  EXPECT_GT(Find(b, FireColoured, 60, 740).count, 20) << "no fire trail in scene 1";
  // Held arrows move and tilt it; released, it stops and levels off.
  const double levelLean = Lean(b, CraftRed, 0, kHeight);
  auto craftLean = [&](const Screen& s) { return Lean(s, CraftRed, 0, kHeight); };
  auto craftY = [&](const Screen& s) { return Find(s, CraftRed, 0, kHeight).y; };
  // Down comes first: the craft may rise until its fin is cut off by the top
  // edge (it stops at y -40), where its lean no longer reads as level, and a
  // loaded machine's screenshots come late enough for a held key to carry it
  // there from the middle. From the bottom, Up has the whole screen.
  Screen down = HoldUntil(
      "Down", [&](const Screen& s) { return craftLean(s) > levelLean + 0.15 && craftY(s) > craft.y + 20; }, 10000);
  EXPECT_GT(craftLean(down), levelLean + 0.15) << "Down did not tilt the craft down";
  EXPECT_GT(craftY(down), craft.y + 20) << "Down did not lower the craft";
  auto levelled = WaitFor([&](const Screen& s) { return std::abs(craftLean(s) - levelLean) < 0.08; }, 15000);
  EXPECT_TRUE(levelled) << "the craft did not level off after Down";
  const int lowY = craftY(levelled ? *levelled : Shot());
  Screen up = HoldUntil(
      "Up", [&](const Screen& s) { return craftLean(s) < levelLean - 0.15 && craftY(s) < lowY - 20; }, 10000);
  EXPECT_LT(craftLean(up), levelLean - 0.15) << "Up did not tilt the craft up";
  EXPECT_LT(craftY(up), lowY - 20) << "Up did not raise the craft";
  EXPECT_TRUE(WaitFor([&](const Screen& s) { return std::abs(craftLean(s) - levelLean) < 0.08; }, 15000))
      << "the craft did not level off after Up";
  Blob raised = Find(Shot(), CraftRed, 0, kHeight);
  EXPECT_GT(raised.count, 30) << "the craft left the screen";
  Screen right = HoldUntil("Right", [&](const Screen& s) { return Find(s, CraftRed, 0, kHeight).x > raised.x + 20; }, 10000);
  EXPECT_GT(Find(right, CraftRed, 0, kHeight).x, raised.x + 20) << "Right did not move the craft";
  Sleep(300);
  Blob moved = Find(Shot(), CraftRed, 0, kHeight);
  Sleep(400);
  Blob still = Find(Shot(), CraftRed, 0, kHeight);
  EXPECT_NEAR(still.x, moved.x, 6);

  // Escape: scene 2 with its two emitters.
  Shell("xdotool mousemove 760 560");
  Shell("xdotool key Escape");
  const std::string removePrompt = "Appuyer sur ESPACE pour supprimer un emetteur";
  const std::string createPrompt = "Appuyer sur ESPACE pour creer un emetteur";
  auto sceneTwo = WaitFor(
      [&](const Screen& s) { return Shows(s, "Nombre d'emetteurs : 2", 0, 80) && Shows(s, removePrompt, 0, 748); },
      10000);
  ASSERT_TRUE(sceneTwo) << "scene 2 did not show two emitters and its prompt";
  EXPECT_FALSE(Shows(*sceneTwo, "Nombre d'emetteurs : 3", 0, 80));
  EXPECT_FALSE(Shows(*sceneTwo, createPrompt, 0, 748));
  EXPECT_TRUE(Number(*sceneTwo, "Memoire allouee : ", 0, 20));
  EXPECT_TRUE(Number(*sceneTwo, "FPS = ", 0, 40));
  // No fire particle survives into scene 2.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Find(Shot(), FireColoured).count, 0);
    Sleep(100);
  }

  // The spark emitter follows the mouse.
  Shell("xdotool mousemove 300 520");
  Sleep(1200);
  Blob spark = Find(Shot(), SparkBlue, 100, 740);
  ASSERT_GT(spark.count, 50);
  EXPECT_NEAR(spark.x, 300, 60);
  EXPECT_GT(spark.y, 520 - 120);
  EXPECT_LT(spark.y, 520 + 60);

  // Space retires it: the prompt flips at once, the count drops to 1 once
  // its last spark has died.
  Shell("xdotool key space");
  EXPECT_TRUE(WaitFor([&](const Screen& s) { return Shows(s, createPrompt, 0, 748); }, 15000));
  EXPECT_TRUE(WaitFor([&](const Screen& s) { return Shows(s, "Nombre d'emetteurs : 1", 0, 80); }, 15000));
  // Space again creates a new one.
  Shell("xdotool key space");
  EXPECT_TRUE(WaitFor(
      [&](const Screen& s) { return Shows(s, removePrompt, 0, 748) && Shows(s, "Nombre d'emetteurs : 2", 0, 80); },
      15000));

  // The last Escape ends the program with status 0 within a few seconds.
  Shell("xdotool key Escape");
  for (int i = 0; i < 100 && !Exited(); ++i) Sleep(100);
  ASSERT_TRUE(Exited()) << "the demo did not end after Escape";
  EXPECT_TRUE(WIFEXITED(status_));
  EXPECT_EQ(WEXITSTATUS(status_), 0) << Errors();
}

}  // namespace

namespace {

// Without a display the program cannot open one: the error's text goes to
// standard error and the status is not 0.
TEST(DemoProgramFailure, NoDisplayGivesTheErrorTextAndAFailureStatus) {
  const std::string errors = testing::TempDir() + "corvex_demo_nodisplay.txt";
  const std::string command =
      std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") + CORVEX_DEMO_PROGRAM + " 2>" + errors + " >/dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  std::ifstream in(errors);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_FALSE(text.empty());
}

}  // namespace
