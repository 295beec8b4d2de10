// Event delivery and control: the play-event queue, where handlers run, stepping, the play
// range, the hook, and the settings that a stop resets.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "player_fixtures.h"

namespace {

using namespace player_fixtures;

// ---- the play-event queue ----

struct TPush {
  int kind;
  int64_t value;
};

struct TQueueCase {
  const char* name;
  std::vector<TPush> pushes;
  std::vector<TPush> taken;  // in order
};

class PlayEventQueueTest : public ::testing::TestWithParam<TQueueCase> {};

TEST_P(PlayEventQueueTest, CoalescesAndKeepsOrder) {
  const TQueueCase& c = GetParam();
  TPlayEventQueue queue;
  for (const TPush& p : c.pushes)
    queue.Push(p.kind, p.value);
  for (const TPush& expected : c.taken) {
    EXPECT_TRUE(queue.WaitFor(0));
    TPlayEventSlot slot = queue.Take();
    EXPECT_EQ(slot.Kind, expected.kind);
    EXPECT_EQ(slot.Value, expected.value);
  }
  EXPECT_EQ(queue.Take().Kind, pkNone);
  EXPECT_FALSE(queue.WaitFor(0));  // the signal is reset once empty
}

// Events AFrom .. ATo - 1 of alternating kinds (even: position, odd: state).
std::vector<TPush> Alternating(int AFrom, int ATo) {
  std::vector<TPush> pushes;
  for (int i = AFrom; i < ATo; ++i)
    pushes.push_back({i % 2 ? pkState : pkPosition, i});
  return pushes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlayEventQueueTest,
    ::testing::Values(
        TQueueCase{"empty", {}, {}},
        TQueueCase{"two_positions_one_event", {{pkPosition, 10}, {pkPosition, 20}}, {{pkPosition, 20}}},
        TQueueCase{"position_state_position",
                   {{pkPosition, 1}, {pkState, psPause}, {pkPosition, 3}},
                   {{pkPosition, 1}, {pkState, psPause}, {pkPosition, 3}}},
        TQueueCase{"states_coalesce", {{pkState, psPlay}, {pkState, psPause}}, {{pkState, psPause}}},
        TQueueCase{"stop_after_positions",
                   {{pkPosition, 5}, {pkPosition, 6}, {pkState, psStop}, {pkEndOfDelivery, 0}},
                   {{pkPosition, 6}, {pkState, psStop}, {pkEndOfDelivery, 0}}},
        // Twelve events of alternating kinds: the two oldest are dropped.
        TQueueCase{"full_queue_drops_oldest", Alternating(0, 12), Alternating(2, 12)}),
    [](const auto& AInfo) { return std::string(AInfo.param.name); });

TEST(PlayEventQueueTest, TakingBetweenPushesStopsCoalescing) {
  TPlayEventQueue queue;
  queue.Push(pkPosition, 1);
  EXPECT_EQ(queue.Take().Value, 1);
  queue.Push(pkPosition, 2);
  EXPECT_EQ(queue.Take().Value, 2);
}

// ---- the component ----

class EventsTest : public PlayerTest {};

TEST_F(EventsTest, PositionsArriveInTheMainThreadAtLeast10msApart) {
  std::string clip = MakeClip(dir_, "clip.mkv", 3);
  std::thread::id main = std::this_thread::get_id();
  std::vector<int64_t> positions;
  bool elsewhere = false;
  player_.SetOnPosition([&](TCustomPlayer*, int64_t APTS) {
    positions.push_back(APTS);
    elsewhere = elsewhere || std::this_thread::get_id() != main;
  });
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return positions.size() >= 10; }));
  player_.Stop(true);
  EXPECT_FALSE(elsewhere);
  for (size_t i = 1; i < positions.size(); ++i)
    EXPECT_GT(positions[i] - positions[i - 1], 10000) << "at " << i;
}

TEST_F(EventsTest, WithoutMainThreadDeliveryHandlersRunOnTheEventThread) {
  std::string clip = MakeClip(dir_, "clip.mkv", 2);
  std::thread::id main = std::this_thread::get_id();
  std::mutex mutex;
  std::vector<std::thread::id> threads;
  player_.SetTriggerEventInMainThread(false);
  player_.SetOnState([&](TCustomPlayer*, TPlayState) {
    std::lock_guard lock(mutex);
    threads.push_back(std::this_thread::get_id());
  });
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] {
    std::lock_guard lock(mutex);
    return !threads.empty();
  }));
  player_.Stop(true);
  std::lock_guard lock(mutex);
  ASSERT_GE(threads.size(), 2u);  // play and stop
  for (std::thread::id id : threads)
    EXPECT_NE(id, main);
  EXPECT_TRUE(std::all_of(threads.begin(), threads.end(), [&](auto id) { return id == threads[0]; }));
}

TEST_F(EventsTest, PauseResumeAndStepReportTheirStates) {
  std::string clip = MakeClip(dir_, "clip.mkv", 3);
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psPause) && target_.PictureCount() >= 2; }));

  player_.StepToNextFrame();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psStep) && target_.PictureCount() >= 3; }));
  ASSERT_TRUE(Until([&] { return player_.Paused(); }));
  player_.StepToNextFrame();
  ASSERT_TRUE(Until([&] { return target_.PictureCount() >= 4; }));
  ASSERT_TRUE(Until([&] { return player_.Paused(); }));
  EXPECT_EQ(recorder_.Count(psStep), 1);  // stepping stays on: one state
  Pump(std::chrono::milliseconds(300));
  EXPECT_EQ(target_.PictureCount(), 4);

  player_.Resume();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psResume) && target_.PictureCount() >= 8; }));
  EXPECT_FALSE(player_.Paused());
  player_.TogglePause();
  ASSERT_TRUE(Until([&] { return recorder_.Count(psPause) >= 2; }));
  EXPECT_TRUE(player_.Paused());
  player_.Pause();  // already paused: nothing
  player_.TogglePause();
  ASSERT_TRUE(Until([&] { return recorder_.Count(psResume) >= 2; }));
  EXPECT_EQ(recorder_.Count(psPause), 2);
}

TEST_F(EventsTest, PlayRangeWithStopEndsPlayback) {
  std::string clip = MakeClip(dir_, "clip.mkv", 3);
  recorder_.Attach(player_);
  player_.SetPlayTime(500000);
  player_.SetRepeatType(rtStop);
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psStop); }));
  EXPECT_LT(recorder_.Positions().back(), 1000000);
  EXPECT_TRUE(player_.Paused());  // nothing plays any more
  // The stop reset the range for the next file.
  EXPECT_EQ(player_.PlayTime(), NoTimeStamp);
  EXPECT_EQ(player_.RepeatType(), rtStop);
}

TEST_F(EventsTest, PlayRangeWithLoopGoesBackToTheStart) {
  std::string clip = MakeClip(dir_, "clip.mkv", 3);
  recorder_.Attach(player_);
  player_.SetPlayTime(400000);
  player_.SetRepeatType(rtLoop);
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] {
    std::vector<int64_t> p = recorder_.Positions();
    for (size_t i = 1; i < p.size(); ++i)
      if (p[i] < p[i - 1] - 200000)
        return true;
    return false;
  }));
  EXPECT_FALSE(recorder_.Saw(psStop));
  std::vector<int64_t> positions = recorder_.Positions();
  EXPECT_LT(*std::max_element(positions.begin(), positions.end()), 1000000);
}

TEST_F(EventsTest, StopResetsThePlaySettings) {
  std::string clip = MakeClip(dir_, "clip.mkv", 2);
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  player_.SetVerticalFlip(true);
  player_.SetRepeatType(rtLoop);
  player_.SetPlayTime(5000000);
  player_.wanted_audio_stream = 0;
  player_.start_time = 100000;
  player_.Stop(true);
  EXPECT_FALSE(player_.VerticalFlip());
  EXPECT_EQ(player_.RepeatType(), rtStop);
  EXPECT_EQ(player_.PlayTime(), NoTimeStamp);
  EXPECT_EQ(player_.wanted_audio_stream, -1);
  EXPECT_EQ(player_.start_time, NoTimeStamp);
  EXPECT_EQ(player_.seek_by_bytes, -1);
  EXPECT_EQ(player_.CurrentPTS(), -1);
}

TEST_F(EventsTest, StartTimeStartsPlaybackLater) {
  std::string clip = fixtures::MakeCounterVideo(dir_, "counter.mkv");
  player_.start_time = 1200000;
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return target_.PictureCount() >= 2 && player_.PlayState() == psPause; }));
  int64_t pts = -1;
  player_.CurrentFrame(pts);
  EXPECT_GE(pts, 1200000);
}

TEST_F(EventsTest, AHandlerMayOpenTheNextFile) {
  std::string first = MakeClip(dir_, "first.mkv", 1);
  std::string second = MakeQuadrants(dir_);
  const int before = ThreadCount();
  bool reopened = false;
  player_.SetOnState([&](TCustomPlayer* ASender, TPlayState AState) {
    if (AState == psEnd && !reopened)
      reopened = ASender->Open(second, &target_, true);  // inside this file's own handler
  });
  ASSERT_TRUE(player_.Open(first, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return reopened && player_.PlayState() == psPause; }));
  EXPECT_EQ(player_.FileName(), second);
  ASSERT_TRUE(Until([&] { return target_.PicturePixel(0, 0).r > 200; }));
  player_.Stop(true);
  EXPECT_EQ(ThreadCount(), before);
}

TEST_F(EventsTest, OnTheEventThreadAHandlerMayStopWithWaiting) {
  std::string clip = MakeClip(dir_, "clip.mkv", 1);
  recorder_.Attach(player_);
  const int before = ThreadCount();
  std::atomic<bool> returned{false};
  player_.SetTriggerEventInMainThread(false);
  player_.SetOnState([&](TCustomPlayer* ASender, TPlayState AState) {
    if (AState == psEnd) {
      ASender->Stop(true);  // waits for the play thread, not for this one
      returned = true;
    }
  });
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return returned.load(); }));
  EXPECT_TRUE(player_.Paused());  // the file is closed
  player_.Stop(true);
  EXPECT_EQ(ThreadCount(), before);
}

TEST_F(EventsTest, WithoutDisplayOnlyTheSoundPlays) {
  std::string clip = MakeClip(dir_, "clip.mkv", 2);
  recorder_.Attach(player_);
  player_.SetDisableDisplay(true);
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  EXPECT_TRUE(player_.DisableVideo());
  EXPECT_EQ(player_.VideoStreamIndex(), -1);
  EXPECT_GE(player_.AudioStreamIndex(), 0);
  ASSERT_TRUE(Until([&] { return recorder_.Positions().size() >= 5; }));
  EXPECT_EQ(target_.PictureCount(), 0);
  EXPECT_EQ(target_.SurfaceCount(), 0);
  EXPECT_EQ(player_.CurrentAudioDisplay(), saNone);
}

// ---- the hook ----

struct THookCase {
  const char* name;
  bool throws;
};

class HookTest : public PlayerTest, public ::testing::WithParamInterface<THookCase> {};

TEST_P(HookTest, DrawingOnTheBitmapReachesTheScreenUnlessTheHookFails) {
  const THookCase& c = GetParam();
  std::string clip = MakeQuadrants(dir_);
  TLogRecorder log;
  std::mutex mutex;
  std::vector<int64_t> times;
  player_.SetHook(true);
  player_.SetOnHook([&](TCustomPlayer*, TBitmap24& ABitmap, int64_t APTS) {
    {
      std::lock_guard lock(mutex);
      times.push_back(APTS);
    }
    if (c.throws)
      throw std::runtime_error("boom");
    for (int y = 0; y < 8; ++y)
      std::memset(ABitmap.Row(y), 0xff, 8 * 3);  // white corner on the red quadrant
  });
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return player_.PlayState() == psPause && target_.PictureCount() >= 2; }));
  TBitmap24& frame = player_.CurrentFrame();
  ASSERT_EQ(frame.Width(), 64);
  const uint8_t* corner = frame.Row(3) + 3 * 3;
  const uint8_t* inside = frame.Row(12) + 20 * 3;
  EXPECT_GT(inside[2], 230);  // red beyond the corner either way
  EXPECT_LT(inside[1], 25);
  if (c.throws) {
    EXPECT_LT(corner[1], 25);
    EXPECT_TRUE(Until([&] { return log.Contains("Error occurs OnHook: boom"); }));
  } else {
    EXPECT_GT(corner[1], 230);
    EXPECT_GT(corner[0], 230);
  }
  player_.Stop(true);
  std::lock_guard lock(mutex);
  ASSERT_GE(times.size(), 2u);
  EXPECT_EQ(times[0], 0);
  EXPECT_EQ(times[1], 40000);
}

INSTANTIATE_TEST_SUITE_P(Cases, HookTest,
                         ::testing::Values(THookCase{"draws", false}, THookCase{"throws", true}),
                         [](const auto& AInfo) { return std::string(AInfo.param.name); });

TEST_F(EventsTest, StopFromTheHookThreadDoesNotWaitForItself) {
  std::string clip = MakeClip(dir_, "clip.mkv", 3);
  recorder_.Attach(player_);
  std::atomic<bool> refused{false};
  player_.SetHook(true);
  player_.SetOnHook([&](TCustomPlayer* ASender, TBitmap24&, int64_t APTS) {
    if (APTS < 200000)
      return;
    try {
      ASender->Open(clip, nullptr, false);
    } catch (const std::logic_error& e) {
      refused = std::string(e.what()) == "Cannot Open from a thread of the player.";
    }
    ASender->Stop(true);  // returns at once: the player's own thread cannot wait for itself
  });
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psStop); }));
  EXPECT_TRUE(refused);
  EXPECT_LT(recorder_.Positions().back(), 1000000);
  player_.Stop(true);
}

}  // namespace
