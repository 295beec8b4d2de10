#include "media/player_sync.h"

#include <chrono>
#include <thread>

extern "C" {
#include <libavcodec/packet.h>
}

#include "media/dispatcher.h"

void TManualEvent::Set() {
  std::lock_guard lock(mutex_);
  set_ = true;
  cond_.notify_all();
}

void TManualEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool TManualEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool TManualEvent::WaitFor(int AMilliseconds) {
  std::unique_lock lock(mutex_);
  return cond_.wait_for(lock, std::chrono::milliseconds(AMilliseconds), [this] { return set_; });
}

bool WaitPumping(const std::function<bool()>& APred, int AStepMs, int ATimeoutMs) {
  const bool main = IsMainThread() && MainThreadDispatcher();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
  for (;;) {
    if (APred())
      return true;
    if (ATimeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline)
      return false;
    if (main)
      ProcessPendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(AStepMs));
  }
}

// ---- packet queue ----

TPacketQueue::~TPacketQueue() { Flush(); }

void TPacketQueue::Release(TQueuedPacket& APacket) {
  av_packet_free(&APacket.pkt);
  APacket.flush = false;
}

void TPacketQueue::Init() {
  Flush();
  abort_request_ = false;
}

bool TPacketQueue::Put(AVPacket* APacket) {
  AVPacket* copy = av_packet_alloc();
  if (!copy) {
    av_packet_unref(APacket);
    return false;
  }
  av_packet_move_ref(copy, APacket);
  std::lock_guard lock(mutex);
  packets.push_back(TQueuedPacket{copy, false});
  nb_packets_ += 1;
  size_ += copy->size + kPacketNodeSize;
  cond.notify_one();
  return true;
}

void TPacketQueue::PutFlush() {
  std::lock_guard lock(mutex);
  packets.push_back(TQueuedPacket{nullptr, true});
  nb_packets_ += 1;
  size_ += kPacketNodeSize;
  cond.notify_one();
}

bool TPacketQueue::PutEmpty(int AStreamIndex) {
  AVPacket* empty = av_packet_alloc();
  if (!empty)
    return false;
  empty->stream_index = AStreamIndex;
  std::lock_guard lock(mutex);
  packets.push_back(TQueuedPacket{empty, false});
  nb_packets_ += 1;
  size_ += kPacketNodeSize;
  cond.notify_one();
  return true;
}

int TPacketQueue::Get(TQueuedPacket& APacket, bool ABlock) {
  std::unique_lock lock(mutex);
  for (;;) {
    if (abort_request_)
      return -1;
    if (!packets.empty()) {
      APacket = packets.front();
      packets.pop_front();
      nb_packets_ -= 1;
      size_ -= (APacket.pkt ? APacket.pkt->size : 0) + kPacketNodeSize;
      return 1;
    }
    if (!ABlock)
      return 0;
    cond.wait(lock);
  }
}

void TPacketQueue::Flush() {
  std::lock_guard lock(mutex);
  for (TQueuedPacket& p : packets)
    Release(p);
  packets.clear();
  nb_packets_ = 0;
  size_ = 0;
}

void TPacketQueue::Abort() {
  std::lock_guard lock(mutex);
  abort_request_ = true;
  cond.notify_all();
}

// ---- display events ----

void TDisplayEventQueue::Push(const TDisplayEvent& AEvent) {
  std::lock_guard lock(mutex_);
  events_.push_back(AEvent);
  cond_.notify_one();
}

bool TDisplayEventQueue::WaitPop(TDisplayEvent& AEvent, int AMilliseconds) {
  std::unique_lock lock(mutex_);
  if (!cond_.wait_for(lock, std::chrono::milliseconds(AMilliseconds),
                      [this] { return !events_.empty(); }))
    return false;
  AEvent = events_.front();
  events_.pop_front();
  return true;
}

// ---- play events ----

void TPlayEventQueue::Push(int AKind, int64_t AValue) {
  std::lock_guard lock(Lock);
  int last = (Header + Count - 1 + kSlots) % kSlots;
  if (Count == 0 || Events[last].Kind != AKind) {
    if (Count == kSlots) {  // drop the oldest
      Header = (Header + 1) % kSlots;
      --Count;
    }
    ++Count;
    last = (Header + Count - 1) % kSlots;
    Events[last].Kind = AKind;
  }
  Events[last].Value = AValue;
  Event.Set();
}

TPlayEventSlot TPlayEventQueue::Take() {
  std::lock_guard lock(Lock);
  if (Count == 0)
    return TPlayEventSlot{};
  TPlayEventSlot slot = Events[Header];
  Header = (Header + 1) % kSlots;
  if (--Count == 0)
    Event.Reset();
  return slot;
}
