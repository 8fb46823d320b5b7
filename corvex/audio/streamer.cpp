#include "corvex/audio/streamer.h"

#include <algorithm>
#include <chrono>

namespace cvx::audio {

namespace {
constexpr int kPieceFrames = 4096;
}

StreamFeed::StreamFeed(bool loop) : loop_(loop) {}

bool StreamFeed::Open(EncodedBytes bytes, std::string& whyNot) {
  if (!decoder_.Open(std::move(bytes), whyNot)) return false;
  ring_ = std::make_unique<FrameRing>(decoder_.Channels(), kRingFrames);
  piece_.assign(static_cast<std::size_t>(kPieceFrames * decoder_.Channels()), 0.0f);
  return true;
}

void StreamFeed::Fill() {
  if (!ring_ || ring_->Ended()) return;
  bool rewound = false;  // a loop that decodes nothing after rewinding ends
  for (;;) {
    const std::int64_t room = ring_->Writable();
    if (room <= 0) return;
    const int want = static_cast<int>(std::min<std::int64_t>(room, kPieceFrames));
    const int got = decoder_.Read(piece_.data(), want);
    if (got > 0) {
      ring_->Write(piece_.data(), got);
      rewound = false;
      continue;
    }
    if (got == 0 && loop_ && !rewound && decoder_.Rewind()) {
      rewound = true;
      continue;
    }
    if (decoder_.Failed()) failed_.store(true, std::memory_order_release);
    ring_->MarkEnded();
    return;
  }
}

Streamer::Streamer() : thread_([this] { Run(); }) {}

Streamer::~Streamer() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Streamer::Add(std::shared_ptr<StreamFeed> feed) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    feeds_.push_back(std::move(feed));
  }
  wake_.notify_all();
}

void Streamer::Remove(const StreamFeed* feed) {
  std::lock_guard<std::mutex> hold(lock_);
  feeds_.erase(std::remove_if(feeds_.begin(), feeds_.end(), [feed](const auto& f) { return f.get() == feed; }),
               feeds_.end());
}

void Streamer::Run() {
  std::vector<std::shared_ptr<StreamFeed>> working;
  std::unique_lock<std::mutex> hold(lock_);
  while (!quit_) {
    working = feeds_;
    hold.unlock();
    for (const auto& feed : working) feed->Fill();
    working.clear();  // a feed removed meanwhile is freed here, not under the lock
    hold.lock();
    // A 32768-frame ring lasts far longer than this wait.
    wake_.wait_for(hold, std::chrono::milliseconds(10));
  }
}

}  // namespace cvx::audio
