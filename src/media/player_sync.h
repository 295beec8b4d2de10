// The preview player's queues and signals: manual-reset events, the packet queues between the
// reader and the decoders (with the flush mark and explicit abort), the display-event queue the
// play thread serves, and the play-event queue of position and state notifications.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

struct AVPacket;

// A manual-reset signal.
class TManualEvent {
public:
  explicit TManualEvent(bool AInitiallySet) : set_(AInitiallySet) {}
  void Set();
  void Reset();
  bool IsSet() const;
  // True when the signal is set, false after AMilliseconds.
  bool WaitFor(int AMilliseconds);

private:
  mutable std::mutex mutex_;  // protects set_
  std::condition_variable cond_;
  bool set_;
};

// Waits until APred() holds, polling every AStepMs. On the main thread pending synchronised
// calls and window messages run between the polls, so threads waiting for the main thread go
// on. Without a limit (ATimeoutMs < 0) waits for ever; returns APred()'s last value.
bool WaitPumping(const std::function<bool()>& APred, int AStepMs, int ATimeoutMs = -1);

// A packet in a packet queue: a library packet, or the flush mark (pkt stays null). A library
// packet without data is the end-of-input packet of the video queue.
struct TQueuedPacket {
  AVPacket* pkt = nullptr;
  bool flush = false;
};

// Bytes a queued packet counts for besides its payload (the size of a queue node).
inline constexpr int kPacketNodeSize = 72;

class TPacketQueue {
public:
  TPacketQueue() = default;
  ~TPacketQueue();
  TPacketQueue(const TPacketQueue&) = delete;
  TPacketQueue& operator=(const TPacketQueue&) = delete;

  // Empties the queue and clears the abort request (a component opens).
  void Init();
  // Takes over APacket's reference (APacket is left blank). False when out of memory.
  bool Put(AVPacket* APacket);
  void PutFlush();
  // Queues a packet without data for AStreamIndex (end of input).
  bool PutEmpty(int AStreamIndex);
  // Returns -1 when aborted, 0 when empty and not blocking, 1 with a packet (which the caller
  // releases with Release). A blocking get waits while empty and not aborted.
  int Get(TQueuedPacket& APacket, bool ABlock);
  // Frees all packets and zeroes the counters.
  void Flush();
  // Sets the abort request and wakes a blocked Get.
  void Abort();
  // Flush at the end of use.
  void End() { Flush(); }

  int nb_packets() const { return nb_packets_; }
  int size() const { return size_; }
  bool abort_request() const { return abort_request_; }

  static void Release(TQueuedPacket& APacket);

private:
  mutable std::mutex mutex;  // protects packets and the counters' updates
  std::condition_variable cond;
  std::deque<TQueuedPacket> packets;  // first_pkt .. last_pkt
  std::atomic<int> nb_packets_{0};
  std::atomic<int> size_{0};  // payloads + kPacketNodeSize per packet
  std::atomic<bool> abort_request_{false};
};

// Events for the play thread's display loop.
enum TDisplayEventKind { deQuit, deResize, deExpose, deAllocPicture, deRefresh, deRedisplay, deClear };

struct TDisplayEvent {
  TDisplayEventKind Kind = deQuit;
  int Width = 0;  // deResize
  int Height = 0;
};

// Unbounded by design: the refresh and allocation events are pushed only while none is pending,
// the others by user operations.
class TDisplayEventQueue {
public:
  void Push(const TDisplayEvent& AEvent);
  void Push(TDisplayEventKind AKind) { Push(TDisplayEvent{AKind, 0, 0}); }
  // False when nothing arrived within AMilliseconds.
  bool WaitPop(TDisplayEvent& AEvent, int AMilliseconds);

private:
  std::mutex mutex_;  // protects events_
  std::condition_variable cond_;
  std::deque<TDisplayEvent> events_;
};

// Play-event kinds; 0 means "none" when taking.
enum TPlayEventKind { pkNone = 0, pkPosition = 1, pkState = 2, pkEndOfDelivery = 3 };

struct TPlayEventSlot {
  int Kind = pkNone;
  int64_t Value = 0;  // microseconds, or the state's ordinal
};

// Ten slots of position and state notifications. Consecutive events of the same kind replace
// each other; when all slots are in use the oldest is dropped.
class TPlayEventQueue {
public:
  static constexpr int kSlots = 10;

  TPlayEventQueue() : Event(false) {}
  void Push(int AKind, int64_t AValue);
  // The oldest event, or kind pkNone when the queue is empty.
  TPlayEventSlot Take();
  // True when an event is waiting (or arrives within AMilliseconds).
  bool WaitFor(int AMilliseconds) { return Event.WaitFor(AMilliseconds); }

private:
  std::mutex Lock;      // protects Header, Count and Events
  TManualEvent Event;   // set while the queue holds an event
  int Header = 0;       // oldest slot
  int Count = 0;
  TPlayEventSlot Events[kSlots];
};
