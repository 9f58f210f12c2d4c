// What one built-in effect costs: a caller's unit generating 48 kHz stereo
// noise feeds the effect, the effect is an input of the master group's head,
// and the non-real-time no-sound output renders 1024-frame blocks. For each
// type the chain is timed with and without the effect, and the effect is
// also timed on the silence that follows the noise (where decaying states
// could turn denormal). OpenAL Soft's effects of the same kind (its effect
// extension on a loopback device) are timed the same way beside ours.
// Prints % of one core: CPU seconds spent per second of audio, times 100.
//
//   sonvel_effects_bench [--seconds 5] [--repeats 5] [--filter echo,sfxreverb]
//                        [--tail 0] [--only ours|peer] [--callgrind]
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>
#include <fnmatch.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Lib = Tembro::Audio::FMOD::Lib;

namespace {

using BenchSupport::Check;
using BenchSupport::kRate;
constexpr int kBlock = 1024;
constexpr double kWarmUp = 0.25;  // seconds rendered untimed after a chain changes
// Below this % of one core an effect's silence / signal ratio is mostly the
// machine's noise; it is printed in parentheses.
constexpr double kTooCheap = 0.05;

double CpuSeconds() {
  timespec T{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return double(T.tv_sec) + double(T.tv_nsec) * 1e-9;
}

int Blocks(double ASeconds) { return std::max(1, int(std::ceil(ASeconds * kRate / kBlock))); }
double Rendered(int ABlocks) { return double(ABlocks) * kBlock / kRate; }

double Median(std::vector<double> AValues) {
  if (AValues.empty()) return -1;
  std::sort(AValues.begin(), AValues.end());
  const std::size_t N = AValues.size();
  return N % 2 == 1 ? AValues[N / 2] : 0.5 * (AValues[N / 2 - 1] + AValues[N / 2]);
}

// ---- Options

struct Options {
  double Seconds = 5;
  int Repeats = 5;
  double Tail = 0;                  // seconds of silence rendered untimed before the silence is timed
  std::vector<std::string> Filter;  // names or shell patterns; empty: every type
  bool Ours = true, Peer = true;
  bool Callgrind = false;  // one pass with signal of each chain, no bare chain, no silence
};

bool Selected(const Options& AOptions, const char* AName) {
  if (AOptions.Filter.empty()) return true;
  for (const std::string& F : AOptions.Filter)
    if (fnmatch(F.c_str(), AName, FNM_CASEFOLD) == 0) return true;
  return false;
}

// ---- Our effects: what each type is set to

// One parameter: set with the call its descriptor asks for (float, int or bool).
struct Setting {
  int Index;
  double Value;
};

struct TypeCase {
  FMOD_DSP_TYPE Type;
  const char* Name;
  std::vector<Setting> Settings;
  const char* Peer;  // the kind of OpenAL Soft effect it is compared with, or null
};

const std::vector<TypeCase>& Types() {
  static const std::vector<TypeCase> Cases = {
      {FMOD_DSP_TYPE_MIXER, "mixer", {}, nullptr},
      {FMOD_DSP_TYPE_OSCILLATOR, "oscillator", {{FMOD_DSP_OSCILLATOR_RATE, 440}}, nullptr},
      {FMOD_DSP_TYPE_LOWPASS, "lowpass", {{FMOD_DSP_LOWPASS_CUTOFF, 1000}, {FMOD_DSP_LOWPASS_RESONANCE, 2}}, nullptr},
      {FMOD_DSP_TYPE_ITLOWPASS,
       "itlowpass",
       {{FMOD_DSP_ITLOWPASS_CUTOFF, 1000}, {FMOD_DSP_ITLOWPASS_RESONANCE, 2}},
       nullptr},
      {FMOD_DSP_TYPE_HIGHPASS,
       "highpass",
       {{FMOD_DSP_HIGHPASS_CUTOFF, 1000}, {FMOD_DSP_HIGHPASS_RESONANCE, 2}},
       nullptr},
      {FMOD_DSP_TYPE_ECHO,
       "echo",
       {{FMOD_DSP_ECHO_DELAY, 500},
        {FMOD_DSP_ECHO_FEEDBACK, 50},
        {FMOD_DSP_ECHO_DRYLEVEL, 0},
        {FMOD_DSP_ECHO_WETLEVEL, 0}},
       "echo"},
      {FMOD_DSP_TYPE_FADER, "fader", {{FMOD_DSP_FADER_GAIN, -6}}, nullptr},
      {FMOD_DSP_TYPE_FLANGE,
       "flange",
       {{FMOD_DSP_FLANGE_MIX, 50}, {FMOD_DSP_FLANGE_DEPTH, 1}, {FMOD_DSP_FLANGE_RATE, 0.1}},
       "flanger"},
      {FMOD_DSP_TYPE_DISTORTION, "distortion", {{FMOD_DSP_DISTORTION_LEVEL, 0.5}}, "distortion"},
      {FMOD_DSP_TYPE_NORMALIZE,
       "normalize",
       {{FMOD_DSP_NORMALIZE_FADETIME, 1000}, {FMOD_DSP_NORMALIZE_THRESHHOLD, 0.1}, {FMOD_DSP_NORMALIZE_MAXAMP, 20}},
       nullptr},
      {FMOD_DSP_TYPE_LIMITER,
       "limiter",
       {{FMOD_DSP_LIMITER_RELEASETIME, 10}, {FMOD_DSP_LIMITER_CEILING, -3}, {FMOD_DSP_LIMITER_MAXIMIZERGAIN, 6}},
       nullptr},
      {FMOD_DSP_TYPE_PARAMEQ,
       "parameq",
       {{FMOD_DSP_PARAMEQ_CENTER, 1000}, {FMOD_DSP_PARAMEQ_BANDWIDTH, 1}, {FMOD_DSP_PARAMEQ_GAIN, 6}},
       nullptr},
      {FMOD_DSP_TYPE_PITCHSHIFT,
       "pitchshift",
       {{FMOD_DSP_PITCHSHIFT_PITCH, 1.5}, {FMOD_DSP_PITCHSHIFT_FFTSIZE, 1024}},
       "pitch shifter"},
      {FMOD_DSP_TYPE_CHORUS,
       "chorus",
       {{FMOD_DSP_CHORUS_MIX, 50}, {FMOD_DSP_CHORUS_RATE, 0.8}, {FMOD_DSP_CHORUS_DEPTH, 3}},
       "chorus"},
      {FMOD_DSP_TYPE_ITECHO,
       "itecho",
       {{FMOD_DSP_ITECHO_WETDRYMIX, 50},
        {FMOD_DSP_ITECHO_FEEDBACK, 50},
        {FMOD_DSP_ITECHO_LEFTDELAY, 500},
        {FMOD_DSP_ITECHO_RIGHTDELAY, 500}},
       nullptr},
      {FMOD_DSP_TYPE_COMPRESSOR,
       "compressor",
       {{FMOD_DSP_COMPRESSOR_THRESHOLD, -20},
        {FMOD_DSP_COMPRESSOR_RATIO, 4},
        {FMOD_DSP_COMPRESSOR_ATTACK, 20},
        {FMOD_DSP_COMPRESSOR_RELEASE, 100},
        {FMOD_DSP_COMPRESSOR_GAINMAKEUP, 0}},
       "compressor"},
      // The generic room with a 2 s decay.
      {FMOD_DSP_TYPE_SFXREVERB,
       "sfxreverb",
       {{FMOD_DSP_SFXREVERB_DECAYTIME, 2000},
        {FMOD_DSP_SFXREVERB_EARLYDELAY, 7},
        {FMOD_DSP_SFXREVERB_LATEDELAY, 11},
        {FMOD_DSP_SFXREVERB_HFREFERENCE, 5000},
        {FMOD_DSP_SFXREVERB_HFDECAYRATIO, 83},
        {FMOD_DSP_SFXREVERB_DIFFUSION, 100},
        {FMOD_DSP_SFXREVERB_DENSITY, 100},
        {FMOD_DSP_SFXREVERB_LOWSHELFFREQUENCY, 250},
        {FMOD_DSP_SFXREVERB_LOWSHELFGAIN, 0},
        {FMOD_DSP_SFXREVERB_HIGHCUT, 14500},
        {FMOD_DSP_SFXREVERB_EARLYLATEMIX, 96},
        {FMOD_DSP_SFXREVERB_WETLEVEL, -8},
        {FMOD_DSP_SFXREVERB_DRYLEVEL, 0}},
       "reverb"},
      {FMOD_DSP_TYPE_LOWPASS_SIMPLE, "lowpass_simple", {{FMOD_DSP_LOWPASS_SIMPLE_CUTOFF, 1000}}, nullptr},
      {FMOD_DSP_TYPE_DELAY,
       "delay",
       {{FMOD_DSP_DELAY_MAXDELAY, 1000}, {FMOD_DSP_DELAY_CH0, 250}, {FMOD_DSP_DELAY_CH1, 500}},
       nullptr},
      {FMOD_DSP_TYPE_TREMOLO, "tremolo", {{FMOD_DSP_TREMOLO_FREQUENCY, 5}, {FMOD_DSP_TREMOLO_DEPTH, 0.8}}, nullptr},
      {FMOD_DSP_TYPE_LADSPAPLUGIN, "ladspaplugin", {}, nullptr},
      {FMOD_DSP_TYPE_SEND, "send", {}, nullptr},
      {FMOD_DSP_TYPE_RETURN, "return", {}, nullptr},
      {FMOD_DSP_TYPE_HIGHPASS_SIMPLE, "highpass_simple", {{FMOD_DSP_HIGHPASS_SIMPLE_CUTOFF, 1000}}, nullptr},
      {FMOD_DSP_TYPE_PAN, "pan", {{FMOD_DSP_PAN_2D_STEREO_POSITION, 30}}, nullptr},
      {FMOD_DSP_TYPE_THREE_EQ,
       "three_eq",
       {{FMOD_DSP_THREE_EQ_LOWGAIN, 6},
        {FMOD_DSP_THREE_EQ_MIDGAIN, -3},
        {FMOD_DSP_THREE_EQ_HIGHGAIN, 3},
        {FMOD_DSP_THREE_EQ_LOWCROSSOVER, 400},
        {FMOD_DSP_THREE_EQ_HIGHCROSSOVER, 4000},
        {FMOD_DSP_THREE_EQ_CROSSOVERSLOPE, FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_24DB}},
       nullptr},
      {FMOD_DSP_TYPE_FFT,
       "fft",
       {{FMOD_DSP_FFT_WINDOWSIZE, 2048}, {FMOD_DSP_FFT_WINDOWTYPE, FMOD_DSP_FFT_WINDOW_HANNING}},
       nullptr},
      {FMOD_DSP_TYPE_LOUDNESS_METER, "loudness_meter", {}, nullptr},
      {FMOD_DSP_TYPE_ENVELOPEFOLLOWER,
       "envelopefollower",
       {{FMOD_DSP_ENVELOPEFOLLOWER_ATTACK, 20}, {FMOD_DSP_ENVELOPEFOLLOWER_RELEASE, 100}},
       nullptr},
      // The impulse response (2 s of decaying stereo noise) is given as data.
      {FMOD_DSP_TYPE_CONVOLUTIONREVERB,
       "convolutionreverb",
       {{FMOD_DSP_CONVOLUTION_REVERB_PARAM_WET, 0}, {FMOD_DSP_CONVOLUTION_REVERB_PARAM_DRY, 0}},
       nullptr},
      {FMOD_DSP_TYPE_CHANNELMIX,
       "channelmix",
       {{FMOD_DSP_CHANNELMIX_GAIN_CH0, -3}, {FMOD_DSP_CHANNELMIX_GAIN_CH1, -3}},
       nullptr},
      {FMOD_DSP_TYPE_TRANSCEIVER, "transceiver", {}, nullptr},
      {FMOD_DSP_TYPE_OBJECTPAN, "objectpan", {}, nullptr},
      // Four bands, as the peer's four-band equaliser has them.
      {FMOD_DSP_TYPE_MULTIBAND_EQ,
       "multiband_eq",
       {{FMOD_DSP_MULTIBAND_EQ_A_FILTER, FMOD_DSP_MULTIBAND_EQ_FILTER_LOWSHELF},
        {FMOD_DSP_MULTIBAND_EQ_A_FREQUENCY, 200},
        {FMOD_DSP_MULTIBAND_EQ_A_GAIN, 3},
        {FMOD_DSP_MULTIBAND_EQ_B_FILTER, FMOD_DSP_MULTIBAND_EQ_FILTER_PEAKING},
        {FMOD_DSP_MULTIBAND_EQ_B_FREQUENCY, 500},
        {FMOD_DSP_MULTIBAND_EQ_B_Q, 1},
        {FMOD_DSP_MULTIBAND_EQ_B_GAIN, -6},
        {FMOD_DSP_MULTIBAND_EQ_C_FILTER, FMOD_DSP_MULTIBAND_EQ_FILTER_PEAKING},
        {FMOD_DSP_MULTIBAND_EQ_C_FREQUENCY, 3000},
        {FMOD_DSP_MULTIBAND_EQ_C_Q, 1},
        {FMOD_DSP_MULTIBAND_EQ_C_GAIN, 3},
        {FMOD_DSP_MULTIBAND_EQ_D_FILTER, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHSHELF},
        {FMOD_DSP_MULTIBAND_EQ_D_FREQUENCY, 6000},
        {FMOD_DSP_MULTIBAND_EQ_D_GAIN, 3}},
       "equaliser"},
  };
  return Cases;
}

// The convolution reverb's data: the channel count, then 2 s of interleaved
// 16-bit stereo noise decaying by 60 dB.
std::vector<std::int16_t> ImpulseResponse() {
  const int Frames = 2 * kRate;
  std::vector<std::int16_t> Data(1 + std::size_t(Frames) * 2);
  Data[0] = 2;
  std::uint32_t State = 0x2545F491u;
  for (int I = 0; I < Frames; ++I) {
    const double Envelope = std::pow(10.0, -3.0 * I / Frames);
    for (int C = 0; C < 2; ++C) {
      State ^= State << 13, State ^= State >> 17, State ^= State << 5;
      const double Noise = double(State) / 4294967296.0 * 2.0 - 1.0;
      Data[1 + std::size_t(I) * 2 + std::size_t(C)] = std::int16_t(std::lround(16000.0 * Envelope * Noise));
    }
  }
  return Data;
}

// ---- Our chain

// The generator: stereo white noise at about -9 dBFS rms, or zeros (still
// audible to the graph, so that the effect has to process them).
struct Noise {
  std::atomic<bool> Loud{true};
  std::uint32_t State = 0x9E3779B9u;
};

FMOD_RESULT F_CALL ReadNoise(FMOD_DSP_STATE* AState, float*, float* AOut, unsigned int ALength, int,
                             int* AOutChannels) {
  void* Data = nullptr;
  AState->functions->getuserdata(AState, &Data);
  Noise& N = *static_cast<Noise*>(Data);
  *AOutChannels = 2;
  if (!N.Loud.load(std::memory_order_relaxed)) {
    std::memset(AOut, 0, sizeof(float) * ALength * 2);
    return FMOD_OK;
  }
  std::uint32_t S = N.State;
  for (unsigned I = 0; I < ALength * 2; ++I) {
    S ^= S << 13, S ^= S >> 17, S ^= S << 5;
    AOut[I] = float(S) * (1.0f / 4294967296.0f) - 0.5f;
  }
  N.State = S;
  return FMOD_OK;
}

// The loop that is timed (and counted under callgrind): nothing else
// renders through it.
__attribute__((noinline)) FMOD_RESULT RenderOurs(FMOD_SYSTEM* ASystem, int ABlocks) {
  for (int B = 0; B < ABlocks; ++B)
    if (const FMOD_RESULT R = Lib::FMOD_System_Update(ASystem); R != FMOD_OK) return R;
  return FMOD_OK;
}

struct OurSystem {
  FMOD_SYSTEM* System = nullptr;
  FMOD_DSP* Head = nullptr;
  FMOD_DSP* Generator = nullptr;
  Noise Signal;
  FMOD_DSP_DESCRIPTION Description{};

  bool Open() {
    FMOD_CHANNELGROUP* Master = nullptr;
    Description.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
    std::snprintf(Description.name, sizeof Description.name, "bench noise");
    Description.numinputbuffers = 0;
    Description.numoutputbuffers = 1;
    Description.read = &ReadNoise;
    Description.userdata = &Signal;
    return Check("FMOD_System_Create", Lib::FMOD_System_Create(&System)) &&
           Check("FMOD_System_SetOutput", Lib::FMOD_System_SetOutput(System, FMOD_OUTPUTTYPE_NOSOUND_NRT)) &&
           Check("FMOD_System_SetSoftwareFormat",
                 Lib::FMOD_System_SetSoftwareFormat(System, kRate, FMOD_SPEAKERMODE_STEREO, 0)) &&
           Check("FMOD_System_SetDSPBufferSize", Lib::FMOD_System_SetDSPBufferSize(System, kBlock, 4)) &&
           Check("FMOD_System_Init", Lib::FMOD_System_Init(System, 32, FMOD_INIT_NORMAL, nullptr)) &&
           Check("FMOD_System_GetMasterChannelGroup", Lib::FMOD_System_GetMasterChannelGroup(System, &Master)) &&
           Check("FMOD_ChannelGroup_GetDSP",
                 Lib::FMOD_ChannelGroup_GetDSP(Master, FMOD_CHANNELCONTROL_DSP_HEAD, &Head)) &&
           Check("FMOD_System_CreateDSP", Lib::FMOD_System_CreateDSP(System, &Description, &Generator)) &&
           Check("FMOD_DSP_SetActive", Lib::FMOD_DSP_SetActive(Generator, true));
  }
  void Close() {
    if (Generator != nullptr) Lib::FMOD_DSP_Release(Generator);
    if (System != nullptr) Lib::FMOD_System_Release(System);
  }

  // Generator -> AEffect -> head, or generator -> head without one.
  bool Wire(FMOD_DSP* AEffect) {
    if (!Check("FMOD_DSP_DisconnectAll", Lib::FMOD_DSP_DisconnectAll(Generator, false, true))) return false;
    if (AEffect == nullptr)
      return Check("FMOD_DSP_AddInput",
                   Lib::FMOD_DSP_AddInput(Head, Generator, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD));
    return Check("FMOD_DSP_SetActive", Lib::FMOD_DSP_SetActive(AEffect, true)) &&
           Check("FMOD_DSP_AddInput",
                 Lib::FMOD_DSP_AddInput(AEffect, Generator, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD)) &&
           Check("FMOD_DSP_AddInput", Lib::FMOD_DSP_AddInput(Head, AEffect, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD));
  }

  // Warm-up and tails render here, apart from RenderOurs, so that callgrind
  // does not count them.
  bool Render(double ASeconds) { return Check("FMOD_System_Update", RenderUntimed(Blocks(ASeconds))); }
  FMOD_RESULT RenderUntimed(int ABlocks) {
    for (int B = 0; B < ABlocks; ++B)
      if (const FMOD_RESULT R = Lib::FMOD_System_Update(System); R != FMOD_OK) return R;
    return FMOD_OK;
  }

  // % of one core rendering ASeconds of the chain as it is wired, or -1.
  double Time(double ASeconds, bool ALoud) {
    Signal.Loud.store(ALoud);
    const int Count = Blocks(ASeconds);
    const double Start = CpuSeconds();
    const FMOD_RESULT R = RenderOurs(System, Count);
    const double Spent = CpuSeconds() - Start;
    return Check("FMOD_System_Update", R) ? 100.0 * Spent / Rendered(Count) : -1;
  }

  // Medians over the repeats: noise, then the silence right after it.
  bool Measure(const Options& AOptions, double& ALoud, double& ASilent) {
    std::vector<double> Loud, Silent;
    Signal.Loud.store(true);
    if (!Render(kWarmUp)) return false;
    for (int I = 0; I < AOptions.Repeats; ++I) {
      Loud.push_back(Time(AOptions.Seconds, true));
      if (!AOptions.Callgrind) {
        Signal.Loud.store(false);
        if (AOptions.Tail > 0 && !Render(AOptions.Tail)) return false;
        Silent.push_back(Time(AOptions.Seconds, false));
      }
      if (Loud.back() < 0 || (!Silent.empty() && Silent.back() < 0)) return false;
    }
    Signal.Loud.store(true);
    ALoud = Median(Loud);
    ASilent = Median(Silent);
    return true;
  }
};

// Sets AEffect as its case says; a parameter refused is told and skipped.
void Configure(FMOD_DSP* AEffect, const TypeCase& ACase, const std::vector<std::int16_t>& AImpulse) {
  for (const Setting& S : ACase.Settings) {
    FMOD_DSP_PARAMETER_DESC* Desc = nullptr;
    FMOD_RESULT R = Lib::FMOD_DSP_GetParameterInfo(AEffect, S.Index, &Desc);
    if (R == FMOD_OK && Desc != nullptr) {
      switch (Desc->type) {
        case FMOD_DSP_PARAMETER_TYPE_FLOAT:
          R = Lib::FMOD_DSP_SetParameterFloat(AEffect, S.Index, float(S.Value));
          break;
        case FMOD_DSP_PARAMETER_TYPE_INT:
          R = Lib::FMOD_DSP_SetParameterInt(AEffect, S.Index, int(std::lround(S.Value)));
          break;
        case FMOD_DSP_PARAMETER_TYPE_BOOL: R = Lib::FMOD_DSP_SetParameterBool(AEffect, S.Index, S.Value != 0); break;
        default: R = FMOD_ERR_INVALID_PARAM; break;
      }
    }
    if (R != FMOD_OK)
      std::printf("  %s: parameter %d = %g answered %d; left as it was\n", ACase.Name, S.Index, S.Value, int(R));
  }
  if (ACase.Type == FMOD_DSP_TYPE_CONVOLUTIONREVERB) {
    const FMOD_RESULT R = Lib::FMOD_DSP_SetParameterData(AEffect, FMOD_DSP_CONVOLUTION_REVERB_PARAM_IR,
                                                         const_cast<std::int16_t*>(AImpulse.data()),
                                                         unsigned(AImpulse.size() * sizeof(std::int16_t)));
    if (R != FMOD_OK) std::printf("  %s: the impulse response answered %d; measured without one\n", ACase.Name, int(R));
  }
}

// What the table says of one of our types.
struct OurResult {
  const TypeCase* Case = nullptr;
  bool Measured = false;
  const char* Why = "";  // when not measured
  double Chain = -1, ChainSilent = -1;
};

// ---- OpenAL Soft

struct PeerKind {
  const char* Name;
  ALenum Type;
};
const PeerKind kPeerKinds[] = {
    {"reverb", AL_EFFECT_REVERB},
    {"EAX reverb", AL_EFFECT_EAXREVERB},
    {"echo", AL_EFFECT_ECHO},
    {"chorus", AL_EFFECT_CHORUS},
    {"flanger", AL_EFFECT_FLANGER},
    {"distortion", AL_EFFECT_DISTORTION},
    {"equaliser", AL_EFFECT_EQUALIZER},
    {"compressor", AL_EFFECT_COMPRESSOR},
    {"pitch shifter", AL_EFFECT_PITCH_SHIFTER},
};

// The loop that is timed (and counted under callgrind) on the peer's side.
__attribute__((noinline)) void RenderPeer(LPALCRENDERSAMPLESSOFT ARender, ALCdevice* ADevice, float* AOut,
                                          int ABlocks) {
  for (int B = 0; B < ABlocks; ++B) ARender(ADevice, AOut, kBlock);
}

class PeerSystem {
 public:
  ~PeerSystem() { Close(); }

  bool Open() {
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return Fail("no ALC_SOFT_loopback");
    auto OpenLoopback =
        reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    auto Supported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
        alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
    Render_ = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    Device_ = OpenLoopback(nullptr);
    if (Device_ == nullptr) return Fail("alcLoopbackOpenDeviceSOFT failed");
    if (!Supported(Device_, kRate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT))
      return Fail("48 kHz stereo float is not supported");
    if (!alcIsExtensionPresent(Device_, "ALC_EXT_EFX")) return Fail("no ALC_EXT_EFX");
    const ALCint Attributes[] = {ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FREQUENCY,
                                 kRate,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 ALC_MAX_AUXILIARY_SENDS,
                                 1,
                                 0};
    Context_ = alcCreateContext(Device_, Attributes);
    if (Context_ == nullptr || !alcMakeContextCurrent(Context_)) return Fail("alcCreateContext failed");
    GenEffects_ = reinterpret_cast<LPALGENEFFECTS>(alGetProcAddress("alGenEffects"));
    DeleteEffects_ = reinterpret_cast<LPALDELETEEFFECTS>(alGetProcAddress("alDeleteEffects"));
    Effecti_ = reinterpret_cast<LPALEFFECTI>(alGetProcAddress("alEffecti"));
    Effectf_ = reinterpret_cast<LPALEFFECTF>(alGetProcAddress("alEffectf"));
    GenSlots_ = reinterpret_cast<LPALGENAUXILIARYEFFECTSLOTS>(alGetProcAddress("alGenAuxiliaryEffectSlots"));
    DeleteSlots_ = reinterpret_cast<LPALDELETEAUXILIARYEFFECTSLOTS>(alGetProcAddress("alDeleteAuxiliaryEffectSlots"));
    Sloti_ = reinterpret_cast<LPALAUXILIARYEFFECTSLOTI>(alGetProcAddress("alAuxiliaryEffectSloti"));
    if (!GenEffects_ || !DeleteEffects_ || !Effecti_ || !Effectf_ || !GenSlots_ || !DeleteSlots_ || !Sloti_)
      return Fail("the effect extension's entry points are missing");
    std::printf("  OpenAL Soft %s\n", alGetString(AL_VERSION));

    // One second of the same kind of noise, 16-bit stereo, looping.
    std::vector<std::int16_t> Samples(std::size_t(kRate) * 2);
    std::uint32_t S = 0x9E3779B9u;
    for (std::int16_t& V : Samples) {
      S ^= S << 13, S ^= S >> 17, S ^= S << 5;
      V = std::int16_t(std::lround((double(S) / 4294967296.0 - 0.5) * 32767.0));
    }
    alGenBuffers(1, &Buffer_);
    alBufferData(Buffer_, AL_FORMAT_STEREO16, Samples.data(), ALsizei(Samples.size() * 2), kRate);
    alGenSources(1, &Source_);
    alSourcei(Source_, AL_BUFFER, ALint(Buffer_));
    alSourcei(Source_, AL_LOOPING, AL_TRUE);
    alSourcePlay(Source_);
    if (alGetError() != AL_NO_ERROR) return Fail("could not play the source");
    Out_.resize(2 * kBlock);
    return true;
  }

  // % of one core with the source alone (AKind null) or sending into a slot
  // holding an effect of AKind; -1 when the peer has no such effect.
  double Measure(const Options& AOptions, const PeerKind* AKind) {
    ALuint Effect = 0, Slot = 0;
    if (AKind != nullptr) {
      alGetError();
      GenEffects_(1, &Effect);
      Effecti_(Effect, AL_EFFECT_TYPE, AKind->Type);
      if (alGetError() != AL_NO_ERROR) {
        DeleteEffects_(1, &Effect);
        std::printf("  OpenAL Soft has no %s effect\n", AKind->Name);
        return -1;
      }
      Set(Effect, AKind->Type);
      GenSlots_(1, &Slot);
      Sloti_(Slot, AL_EFFECTSLOT_EFFECT, ALint(Effect));
      alSource3i(Source_, AL_AUXILIARY_SEND_FILTER, ALint(Slot), 0, AL_FILTER_NULL);
      if (alGetError() != AL_NO_ERROR) std::printf("  OpenAL Soft: setting up its %s answered an error\n", AKind->Name);
    }
    for (int B = Blocks(kWarmUp); B > 0; --B)
      Render_(Device_, Out_.data(), kBlock);  // not through RenderPeer: not counted
    std::vector<double> Costs;
    const int Count = Blocks(AOptions.Seconds);
    for (int I = 0; I < AOptions.Repeats; ++I) {
      const double Start = CpuSeconds();
      RenderPeer(Render_, Device_, Out_.data(), Count);
      Costs.push_back(100.0 * (CpuSeconds() - Start) / Rendered(Count));
    }
    if (AKind != nullptr) {
      alSource3i(Source_, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
      DeleteSlots_(1, &Slot);
      DeleteEffects_(1, &Effect);
    }
    return Median(Costs);
  }

 private:
  bool Fail(const char* AWhy) {
    std::printf("  OpenAL Soft: %s; no comparison\n", AWhy);
    return false;
  }

  // Settings as near ours as the effect allows.
  void Set(ALuint AEffect, ALenum AType) {
    switch (AType) {
      case AL_EFFECT_REVERB: Effectf_(AEffect, AL_REVERB_DECAY_TIME, 2.0f); break;
      case AL_EFFECT_EAXREVERB: Effectf_(AEffect, AL_EAXREVERB_DECAY_TIME, 2.0f); break;
      case AL_EFFECT_ECHO:
        // The first tap at most 207 ms; the second one at 500 ms.
        Effectf_(AEffect, AL_ECHO_DELAY, 0.207f);
        Effectf_(AEffect, AL_ECHO_LRDELAY, 0.293f);
        Effectf_(AEffect, AL_ECHO_FEEDBACK, 0.5f);
        break;
      case AL_EFFECT_DISTORTION: Effectf_(AEffect, AL_DISTORTION_EDGE, 0.5f); break;
      case AL_EFFECT_EQUALIZER:
        Effectf_(AEffect, AL_EQUALIZER_LOW_GAIN, 1.413f), Effectf_(AEffect, AL_EQUALIZER_LOW_CUTOFF, 200.0f);
        Effectf_(AEffect, AL_EQUALIZER_MID1_GAIN, 0.501f), Effectf_(AEffect, AL_EQUALIZER_MID1_CENTER, 500.0f);
        Effectf_(AEffect, AL_EQUALIZER_MID1_WIDTH, 1.0f);
        Effectf_(AEffect, AL_EQUALIZER_MID2_GAIN, 1.413f), Effectf_(AEffect, AL_EQUALIZER_MID2_CENTER, 3000.0f);
        Effectf_(AEffect, AL_EQUALIZER_MID2_WIDTH, 1.0f);
        Effectf_(AEffect, AL_EQUALIZER_HIGH_GAIN, 1.413f), Effectf_(AEffect, AL_EQUALIZER_HIGH_CUTOFF, 6000.0f);
        break;
      case AL_EFFECT_COMPRESSOR: Effecti_(AEffect, AL_COMPRESSOR_ONOFF, 1); break;
      case AL_EFFECT_PITCH_SHIFTER: Effecti_(AEffect, AL_PITCH_SHIFTER_COARSE_TUNE, 7); break;  // 1.498
      default: break;  // chorus and flanger at their defaults
    }
  }

  void Close() {
    if (Context_ != nullptr) {
      if (Source_ != 0) alDeleteSources(1, &Source_);
      if (Buffer_ != 0) alDeleteBuffers(1, &Buffer_);
      alcMakeContextCurrent(nullptr);
      alcDestroyContext(Context_);
    }
    if (Device_ != nullptr) alcCloseDevice(Device_);
    Context_ = nullptr, Device_ = nullptr;
  }

  ALCdevice* Device_ = nullptr;
  ALCcontext* Context_ = nullptr;
  LPALCRENDERSAMPLESSOFT Render_ = nullptr;
  LPALGENEFFECTS GenEffects_ = nullptr;
  LPALDELETEEFFECTS DeleteEffects_ = nullptr;
  LPALEFFECTI Effecti_ = nullptr;
  LPALEFFECTF Effectf_ = nullptr;
  LPALGENAUXILIARYEFFECTSLOTS GenSlots_ = nullptr;
  LPALDELETEAUXILIARYEFFECTSLOTS DeleteSlots_ = nullptr;
  LPALAUXILIARYEFFECTSLOTI Sloti_ = nullptr;
  ALuint Buffer_ = 0, Source_ = 0;
  std::vector<float> Out_;
};

// ---- Printing

// A figure, or "-" for one not measured (below zero) unless AFormat is
// given, which prints the value whatever its sign.
std::string Cell(double AValue, const char* AFormat = nullptr) {
  if (AValue < 0 && AFormat == nullptr) return "-";
  if (AFormat == nullptr) AFormat = "%.3f";
  char Text[32];
  std::snprintf(Text, sizeof Text, AFormat, AValue);
  return Text;
}
// An effect's own cost: the chain less the bare chain (may come out a
// little below zero for a cheap effect on a noisy machine).
std::string Difference(double AChain, double ABare) {
  if (AChain < 0 || ABare < 0) return "-";
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.3f", AChain - ABare);
  return Text;
}
std::string Ratio(double ANumerator, double ADenominator) {
  return ANumerator >= 0 && ADenominator > 0 ? Cell(ANumerator / ADenominator, "%.2f") : "-";
}

int Usage(const char* AProgram) {
  std::fprintf(stderr,
               "usage: %s [--seconds S] [--repeats N] [--filter NAME[,NAME...]] [--tail S] [--only ours|peer]\n"
               "          [--callgrind]\n"
               "  NAME is a type as listed (echo, sfxreverb...) or a shell pattern (*lowpass*)\n",
               AProgram);
  return 2;
}

}  // namespace

int main(int AArgc, char** AArgv) {
  Options Opt;
  for (int I = 1; I < AArgc; ++I) {
    const std::string Arg = AArgv[I];
    const bool HasValue = I + 1 < AArgc;
    if (Arg == "--seconds" && HasValue) {
      Opt.Seconds = std::atof(AArgv[++I]);
    } else if (Arg == "--tail" && HasValue) {
      Opt.Tail = std::atof(AArgv[++I]);
    } else if (Arg == "--repeats" && HasValue) {
      Opt.Repeats = std::atoi(AArgv[++I]);
    } else if (Arg == "--filter" && HasValue) {
      const std::string List = AArgv[++I];
      for (std::size_t From = 0; From <= List.size();) {
        const std::size_t Comma = std::min(List.find(',', From), List.size());
        if (Comma > From) Opt.Filter.push_back(List.substr(From, Comma - From));
        From = Comma + 1;
      }
    } else if (Arg == "--only" && HasValue) {
      const std::string Which = AArgv[++I];
      if (Which != "ours" && Which != "peer") return Usage(AArgv[0]);
      Opt.Ours = Which == "ours", Opt.Peer = Which == "peer";
    } else if (Arg == "--callgrind") {
      Opt.Callgrind = true;
    } else {
      return Usage(AArgv[0]);
    }
  }
  if (Opt.Seconds <= 0 || Opt.Repeats <= 0 || Opt.Tail < 0)
    return std::fprintf(stderr, "seconds and repeats must be positive, the tail not negative\n"), 2;
  if (Opt.Callgrind) Opt.Repeats = 1;
  const double WallStart = [] {
    timespec T{};
    clock_gettime(CLOCK_MONOTONIC, &T);
    return double(T.tv_sec) + double(T.tv_nsec) * 1e-9;
  }();

  std::printf(
      "%% of one core (CPU seconds per second of audio x 100), 48 kHz stereo noise, %d-frame blocks,\n"
      "%g s per measurement, median of %d\n",
      kBlock, Rendered(Blocks(Opt.Seconds)), Opt.Repeats);
  std::fflush(stdout);

  // Ours.
  std::vector<OurResult> Results;
  double Bare = -1, BareSilent = -1;
  Lib::TFMODLibraryHandle Library = Opt.Ours ? BenchSupport::LoadEngine() : nullptr;
  if (Library != nullptr) {
    const std::vector<std::int16_t> Impulse = ImpulseResponse();
    OurSystem Ours;
    if (Ours.Open()) {
      if (!Opt.Callgrind && Ours.Wire(nullptr)) Ours.Measure(Opt, Bare, BareSilent);
      std::printf("\nours: noise -> effect -> master head; bare chain (noise -> head) %s with signal, %s silent\n",
                  Cell(Bare).c_str(), Cell(BareSilent).c_str());
      if (Opt.Tail > 0) std::printf("silence timed after %g s of it untimed\n", Opt.Tail);
      std::printf("%-18s %9s %9s %9s %9s\n", "effect", "chain", "effect", "silence", "silence/");
      std::printf("%-18s %9s %9s %9s %9s\n", "", "", "", "", "signal");
      std::fflush(stdout);
      for (const TypeCase& Case : Types()) {
        if (!Selected(Opt, Case.Name)) continue;
        OurResult R;
        R.Case = &Case;
        FMOD_DSP* Effect = nullptr;
        const FMOD_RESULT Made = Lib::FMOD_System_CreateDSPByType(Ours.System, Case.Type, &Effect);
        if (Made == FMOD_ERR_PLUGIN_MISSING) {
          R.Why = "not built yet";
          std::printf("%-18s not built yet (FMOD_ERR_PLUGIN_MISSING), skipped\n", Case.Name);
        } else if (Made != FMOD_OK) {
          R.Why = "failed";
          std::printf("%-18s FMOD_System_CreateDSPByType answered %d, skipped\n", Case.Name, int(Made));
        } else {
          Configure(Effect, Case, Impulse);
          R.Measured = Ours.Wire(Effect) && Ours.Measure(Opt, R.Chain, R.ChainSilent);
          if (!R.Measured) R.Why = "failed";
          const double Own = R.Chain - Bare, OwnSilent = R.ChainSilent - BareSilent;
          std::string Denormals = R.ChainSilent >= 0 && Bare >= 0 ? Ratio(std::max(OwnSilent, 0.0), Own) : "-";
          if (Denormals != "-" && Own < kTooCheap) Denormals = "(" + Denormals + ")";
          std::printf("%-18s %9s %9s %9s %9s\n", Case.Name, Cell(R.Chain).c_str(), Difference(R.Chain, Bare).c_str(),
                      Difference(R.ChainSilent, BareSilent).c_str(), Denormals.c_str());
          Lib::FMOD_DSP_DisconnectAll(Effect, true, true);
          Lib::FMOD_DSP_Release(Effect);
        }
        std::fflush(stdout);
        Results.push_back(R);
      }
    }
    if (!Opt.Callgrind)
      std::printf(
          "silence/signal: the goal is at most 1.5; in parentheses where the effect costs under %.2f%%,\n"
          "so that the ratio is mostly the machine's noise\n",
          kTooCheap);
    Ours.Close();
    Lib::UnloadFMODLibrary(Library);
  }

  // OpenAL Soft, for the kinds of effect whose type of ours is selected.
  std::vector<std::pair<const PeerKind*, const TypeCase*>> Pairs;
  for (const PeerKind& Kind : kPeerKinds)
    for (const TypeCase& Case : Types())
      if (Case.Peer != nullptr && Selected(Opt, Case.Name) &&
          (std::strcmp(Case.Peer, Kind.Name) == 0 ||
           (Kind.Type == AL_EFFECT_EAXREVERB && std::strcmp(Case.Peer, "reverb") == 0)))
        Pairs.emplace_back(&Kind, &Case);
  std::vector<double> PeerCosts(Pairs.size(), -1);
  double PeerDry = -1;
  if (Opt.Peer && !Pairs.empty()) {
    std::printf(
        "\nOpenAL Soft: one looping stereo noise source sending into one auxiliary effect slot, loopback device\n");
    PeerSystem Peer;
    if (Peer.Open()) {
      if (!Opt.Callgrind) PeerDry = Peer.Measure(Opt, nullptr);
      for (std::size_t I = 0; I < Pairs.size(); ++I) PeerCosts[I] = Peer.Measure(Opt, Pairs[I].first);
    }
  }

  if (!Opt.Callgrind && Opt.Peer && !Pairs.empty()) {
    auto OursOf = [&](const TypeCase* ACase) {  // the effect's own cost, or below zero
      for (const OurResult& R : Results)
        if (R.Case == ACase && R.Measured && Bare >= 0) return std::make_pair(true, R.Chain - Bare);
      return std::make_pair(false, -1.0);
    };
    std::printf("\neffect's own cost (chain less the bare chain); peer's dry source alone %s\n", Cell(PeerDry).c_str());
    std::printf("%-18s %-14s %9s %9s %9s\n", "effect", "peer kind", "ours", "peer", "ours/peer");
    for (const TypeCase& Case : Types()) {
      if (!Selected(Opt, Case.Name)) continue;
      bool Any = false;
      for (std::size_t I = 0; I < Pairs.size(); ++I) {
        if (Pairs[I].second != &Case) continue;
        Any = true;
        const auto [Measured, Mine] = OursOf(&Case);
        const bool Compared = PeerCosts[I] >= 0 && PeerDry >= 0;
        const double Theirs = Compared ? PeerCosts[I] - PeerDry : -1;
        std::printf("%-18s %-14s %9s %9s %9s\n", Case.Name, Pairs[I].first->Name,
                    Measured ? Cell(Mine, "%.3f").c_str() : "-", Compared ? Cell(Theirs, "%.3f").c_str() : "-",
                    Measured && Compared ? Ratio(Mine, Theirs).c_str() : "-");
      }
      if (!Any && Opt.Ours) {
        const auto [Measured, Mine] = OursOf(&Case);
        std::printf("%-18s %-14s %9s %9s %9s\n", Case.Name, "-", Measured ? Cell(Mine, "%.3f").c_str() : "-", "-", "-");
      }
    }
  }
  if (Opt.Callgrind)
    std::printf("\ncallgrind: count with --toggle-collect='*RenderOurs*' (ours) or '*RenderPeer*' (peer)\n");
  timespec T{};
  clock_gettime(CLOCK_MONOTONIC, &T);
  std::printf("\n%.1f s in all\n", double(T.tv_sec) + double(T.tv_nsec) * 1e-9 - WallStart);
  return 0;
}
