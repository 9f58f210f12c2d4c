// The render path, measured: across 1,000 blocks rendered by the real-time
// no-sound output while four threads keep calling the API, the mixer's
// thread allocates nothing, frees nothing and never waits for a lock; and
// the same holds for every built-in effect in one chain while another
// thread keeps changing all their parameters.
//
// This binary replaces the C allocation functions and pthread_mutex_lock
// with counting ones (which pass on to the C library's), so it is built on
// its own and never with a sanitizer, whose runtime replaces them too. The
// mixer's thread is recognised from inside: a unit at the master group's
// head marks the thread its read callback runs on.
#include <dlfcn.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "GraphTraffic.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {

thread_local bool tMixer = false;
std::atomic<bool> gArmed{false};
std::atomic<std::uint64_t> gAllocations{0}, gFrees{0}, gLocks{0}, gWaits{0};

bool Counting() noexcept { return tMixer && gArmed.load(std::memory_order_relaxed); }
void CountAllocation() noexcept {
  if (Counting()) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

using LockFunction = int (*)(pthread_mutex_t*);
const LockFunction gRealLock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  CountAllocation();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  CountAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  CountAllocation();
  return __libc_realloc(pointer, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
  CountAllocation();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  CountAllocation();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  CountAllocation();
  *out = __libc_memalign(alignment, size);
  return *out != nullptr || size == 0 ? 0 : ENOMEM;
}
void free(void* pointer) {
  if (pointer != nullptr && Counting()) gFrees.fetch_add(1, std::memory_order_relaxed);
  __libc_free(pointer);
}
int pthread_mutex_lock(pthread_mutex_t* mutex) {
  if (Counting()) {
    if (pthread_mutex_trylock(mutex) == 0) {
      gLocks.fetch_add(1, std::memory_order_relaxed);
      return 0;
    }
    gWaits.fetch_add(1, std::memory_order_relaxed);
  }
  return gRealLock(mutex);
}
}

namespace {

namespace Lib = Tembro::Audio::FMOD::Lib;

std::atomic<std::uint64_t> gBlocks{0};

// The probe at the master group's head: passes the mix on and marks its thread.
FMOD_RESULT F_CALL Probe(FMOD_DSP_STATE*, float* in, float* out, unsigned int length, int channels, int* outChannels) {
  tMixer = true;
  for (std::size_t i = 0; i < std::size_t(length) * std::size_t(channels); ++i) out[i] = in[i];
  *outChannels = channels;
  gBlocks.fetch_add(1, std::memory_order_relaxed);
  return FMOD_OK;
}

void WaitForBlocks(std::uint64_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (gBlocks.load() < count && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST(RealTimeTest, TheMixerNeitherAllocatesNorWaitsWhileTheApiIsBusy) {
  Lib::TFMODLibraryHandle library = Lib::LoadFMODLibrary(false);
  ASSERT_NE(library, nullptr);
  FMOD_SYSTEM* system = nullptr;
  ASSERT_EQ(Lib::FMOD_System_Create(&system), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_SetOutput(system, FMOD_OUTPUTTYPE_NOSOUND), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_SetDSPBufferSize(system, 64, 4), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_Init(system, 32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  FMOD_DSP_DESCRIPTION description{};
  description.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
  description.numinputbuffers = 1;
  description.numoutputbuffers = 1;
  description.read = &Probe;
  FMOD_DSP* probe = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateDSP(system, &description, &probe), FMOD_OK);
  FMOD_CHANNELGROUP* master = nullptr;
  ASSERT_EQ(Lib::FMOD_System_GetMasterChannelGroup(system, &master), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_AddDSP(master, 0, probe), FMOD_OK);

  {
    sonvel::test::GraphTraffic traffic(system);
    traffic.Start(4);
    WaitForBlocks(400);  // every path the traffic takes has run by now
    const std::uint64_t operationsBefore = traffic.Operations.load();
    const std::uint64_t first = gBlocks.load();
    gArmed = true;
    WaitForBlocks(first + 1000);
    gArmed = false;
    const std::uint64_t rendered = gBlocks.load() - first;
    const std::uint64_t operations = traffic.Operations.load() - operationsBefore;
    traffic.Stop();
    std::printf("%llu blocks, %llu API operations meanwhile, %llu uncontended locks on the mixer thread\n",
                static_cast<unsigned long long>(rendered), static_cast<unsigned long long>(operations),
                static_cast<unsigned long long>(gLocks.load()));
    EXPECT_GE(rendered, 1000u);
    EXPECT_GT(operations, 1000u);
  }
  EXPECT_EQ(gAllocations.load(), 0u);
  EXPECT_EQ(gFrees.load(), 0u);
  EXPECT_EQ(gWaits.load(), 0u);
  EXPECT_EQ(Lib::FMOD_System_Release(system), FMOD_OK);
  Lib::UnloadFMODLibrary(library);
}

// A system at 256-frame blocks with the probe at the master group's head.
FMOD_SYSTEM* StartProbed(Lib::TFMODLibraryHandle& library) {
  library = Lib::LoadFMODLibrary(false);
  if (library == nullptr) return nullptr;
  FMOD_SYSTEM* system = nullptr;
  if (Lib::FMOD_System_Create(&system) != FMOD_OK) return nullptr;
  Lib::FMOD_System_SetOutput(system, FMOD_OUTPUTTYPE_NOSOUND);
  Lib::FMOD_System_SetDSPBufferSize(system, 256, 4);
  if (Lib::FMOD_System_Init(system, 32, FMOD_INIT_NORMAL, nullptr) != FMOD_OK) return nullptr;
  static FMOD_DSP_DESCRIPTION description{};
  description.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
  description.numinputbuffers = 1;
  description.numoutputbuffers = 1;
  description.read = &Probe;
  FMOD_DSP* probe = nullptr;
  FMOD_CHANNELGROUP* master = nullptr;
  Lib::FMOD_System_CreateDSP(system, &description, &probe);
  Lib::FMOD_System_GetMasterChannelGroup(system, &master);
  Lib::FMOD_ChannelGroup_AddDSP(master, 0, probe);
  return system;
}

TEST(RealTimeTest, EveryBuiltInEffectRunsWithoutAllocatingWhileItsParametersChange) {
  Lib::TFMODLibraryHandle library = nullptr;
  FMOD_SYSTEM* system = StartProbed(library);
  ASSERT_NE(system, nullptr);
  // A tone on a channel through one of every effect, and a reverb instance
  // the channel sends to.
  FMOD_DSP* tone = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateDSPByType(system, FMOD_DSP_TYPE_OSCILLATOR, &tone), FMOD_OK);
  FMOD_CHANNEL* channel = nullptr;
  ASSERT_EQ(Lib::FMOD_System_PlayDSP(system, tone, nullptr, false, &channel), FMOD_OK);
  const FMOD_REVERB_PROPERTIES hall = FMOD_PRESET_CONCERTHALL;
  ASSERT_EQ(Lib::FMOD_System_SetReverbProperties(system, 0, &hall), FMOD_OK);
  std::vector<FMOD_DSP*> effects;
  for (int type = FMOD_DSP_TYPE_MIXER; type < FMOD_DSP_TYPE_MAX; ++type) {
    if (type == FMOD_DSP_TYPE_OSCILLATOR || type == FMOD_DSP_TYPE_VSTPLUGIN || type == FMOD_DSP_TYPE_WINAMPPLUGIN)
      continue;
    FMOD_DSP* dsp = nullptr;
    if (Lib::FMOD_System_CreateDSPByType(system, FMOD_DSP_TYPE(type), &dsp) != FMOD_OK) continue;
    ASSERT_EQ(Lib::FMOD_Channel_AddDSP(channel, FMOD_CHANNELCONTROL_DSP_TAIL, dsp), FMOD_OK) << type;
    if (type == FMOD_DSP_TYPE_LADSPAPLUGIN) {
      char path[] = "/usr/lib/ladspa/amp.so";
      Lib::FMOD_DSP_SetParameterData(dsp, 0, path, sizeof path);
    }
    effects.push_back(dsp);
  }
  std::printf("%zu effects in the chain\n", effects.size());

  // Every float, int and bool parameter of every effect, to random values
  // in range, over and over (values an effect refuses are simply refused).
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> changes{0};
  std::thread changer([&] {
    std::mt19937 random(7);
    while (!stop.load()) {
      for (FMOD_DSP* dsp : effects) {
        int count = 0;
        Lib::FMOD_DSP_GetNumParameters(dsp, &count);
        for (int i = 0; i < count && !stop.load(); ++i) {
          FMOD_DSP_PARAMETER_DESC* desc = nullptr;
          if (Lib::FMOD_DSP_GetParameterInfo(dsp, i, &desc) != FMOD_OK) continue;
          if (desc->type == FMOD_DSP_PARAMETER_TYPE_FLOAT) {
            const float lo = desc->floatdesc.min, hi = std::min(desc->floatdesc.max, lo + 20000.0f);
            Lib::FMOD_DSP_SetParameterFloat(dsp, i, std::uniform_real_distribution<float>(lo, hi)(random));
          } else if (desc->type == FMOD_DSP_PARAMETER_TYPE_INT) {
            const int lo = desc->intdesc.min, hi = std::min(desc->intdesc.max, lo + 64);
            Lib::FMOD_DSP_SetParameterInt(dsp, i, std::uniform_int_distribution<int>(lo, hi)(random));
          } else if (desc->type == FMOD_DSP_PARAMETER_TYPE_BOOL) {
            Lib::FMOD_DSP_SetParameterBool(dsp, i, random() & 1);
          }
          changes.fetch_add(1);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  WaitForBlocks(gBlocks.load() + 200);
  const std::uint64_t first = gBlocks.load();
  gAllocations = gFrees = gWaits = 0;
  gArmed = true;
  WaitForBlocks(first + 500);
  gArmed = false;
  stop = true;
  changer.join();
  std::printf("%llu blocks, %llu parameter changes meanwhile\n",
              static_cast<unsigned long long>(gBlocks.load() - first), static_cast<unsigned long long>(changes.load()));
  EXPECT_GE(gBlocks.load() - first, 500u);
  EXPECT_EQ(gAllocations.load(), 0u);
  EXPECT_EQ(gFrees.load(), 0u);
  EXPECT_EQ(gWaits.load(), 0u);
  EXPECT_EQ(Lib::FMOD_System_Release(system), FMOD_OK);
  Lib::UnloadFMODLibrary(library);
}

}  // namespace
