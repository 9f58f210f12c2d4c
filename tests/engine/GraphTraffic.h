// API traffic for the tests that run the mixer in real time: each worker
// thread plays, changes, stops and rewires channels, groups and units of its
// own until told to stop. Results are not checked (a channel that ended
// answers 30, a unit already in a chain 8, and so on); what the tests check
// is what the mixer did meanwhile.
//
//   GraphTraffic Traffic(System);
//   Traffic.Start(4);
//   ...                      // the mixer renders
//   Traffic.Stop();
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.API.h"

namespace sonvel::test {

class GraphTraffic {
public:
  explicit GraphTraffic(FMOD_SYSTEM* ASystem) : FSystem(ASystem) {
    namespace Lib = Tembro::Audio::FMOD::Lib;
    // A short mono 3D sample and a stereo stream, raw float from memory.
    std::vector<float> Mono(24000), Stereo(2 * 48000);
    for (std::size_t I = 0; I < Mono.size(); ++I) Mono[I] = 0.2f * float(std::sin(0.06 * double(I)));
    for (std::size_t I = 0; I < Stereo.size(); ++I) Stereo[I] = 0.1f * float(std::sin(0.03 * double(I)));
    FSample = Raw(Mono, 1, FMOD_3D | FMOD_LOOP_NORMAL);
    FStream = Raw(Stereo, 2, FMOD_2D | FMOD_LOOP_NORMAL | FMOD_CREATESTREAM);
    FDescription.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
    std::snprintf(FDescription.name, sizeof FDescription.name, "pass");
    FDescription.numinputbuffers = 1;
    FDescription.numoutputbuffers = 1;
    FDescription.read = &PassRead;
    (void)Lib::FMOD_Sound_AddSyncPoint(FSample, 1000, FMOD_TIMEUNIT_PCM, "sync", nullptr);
  }
  ~GraphTraffic() { Stop(); }

  void Start(int AThreads) {
    FStop = false;
    for (int T = 0; T < AThreads; ++T) FThreads.emplace_back([this, T] { Work(T); });
  }
  void Stop() {
    FStop = true;
    for (std::thread& Thread : FThreads) Thread.join();
    FThreads.clear();
  }

  std::atomic<std::uint64_t> Operations{0};

private:
  static FMOD_RESULT F_CALL PassRead(FMOD_DSP_STATE*, float* AIn, float* AOut, unsigned int ALength, int AChannels,
                                     int* AOutChannels) {
    for (std::size_t I = 0; I < std::size_t(ALength) * std::size_t(AChannels); ++I) AOut[I] = AIn[I];
    *AOutChannels = AChannels;
    return FMOD_OK;
  }
  static FMOD_RESULT F_CALL Ignore(FMOD_CHANNELCONTROL*, FMOD_CHANNELCONTROL_TYPE, FMOD_CHANNELCONTROL_CALLBACK_TYPE,
                                   void*, void*) {
    return FMOD_OK;
  }

  FMOD_SOUND* Raw(const std::vector<float>& AData, int AChannels, FMOD_MODE AMode) {
    namespace Lib = Tembro::Audio::FMOD::Lib;
    FMOD_CREATESOUNDEXINFO Info{};
    Info.cbsize = sizeof Info;
    Info.length = unsigned(AData.size() * sizeof(float));
    Info.numchannels = AChannels;
    Info.defaultfrequency = 48000;
    Info.format = FMOD_SOUND_FORMAT_PCMFLOAT;
    FMOD_SOUND* Sound = nullptr;
    (void)Lib::FMOD_System_CreateSound(FSystem, reinterpret_cast<const char*>(AData.data()),
                                       AMode | FMOD_OPENMEMORY | FMOD_OPENRAW, &Info, &Sound);
    return Sound;
  }

  void Work(int AIndex) {
    namespace Lib = Tembro::Audio::FMOD::Lib;
    unsigned Seed = 2654435761u * unsigned(AIndex + 1);
    auto Next = [&Seed](unsigned AModulo) {
      Seed = Seed * 1103515245u + 12345u;
      return (Seed >> 8) % AModulo;
    };
    std::vector<FMOD_CHANNEL*> Channels;
    std::vector<FMOD_CHANNELGROUP*> Groups;
    std::vector<FMOD_DSP*> Units;
    for (int I = 0; I < 3; ++I) {
      FMOD_DSP* Unit = nullptr;
      if (Lib::FMOD_System_CreateDSP(FSystem, &FDescription, &Unit) == FMOD_OK) Units.push_back(Unit);
    }
    FMOD_DSP* Oscillator = nullptr;
    FMOD_DSP* Mix = nullptr;
    (void)Lib::FMOD_System_CreateDSPByType(FSystem, FMOD_DSP_TYPE_OSCILLATOR, &Oscillator);
    (void)Lib::FMOD_System_CreateDSPByType(FSystem, FMOD_DSP_TYPE_CHANNELMIX, &Mix);
    FMOD_CHANNEL* Tone = nullptr;
    const FMOD_VECTOR Origin{0, 0, 0};
    while (!FStop) {
      const FMOD_CHANNEL* Any = Channels.empty() ? nullptr : Channels[Next(unsigned(Channels.size()))];
      FMOD_CHANNEL* Channel = const_cast<FMOD_CHANNEL*>(Any);
      FMOD_DSP* Unit = Units.empty() ? nullptr : Units[Next(unsigned(Units.size()))];
      FMOD_CHANNELGROUP* Group = Groups.empty() ? nullptr : Groups[Next(unsigned(Groups.size()))];
      switch (Next(12)) {
        case 0: {
          FMOD_CHANNEL* Made = nullptr;
          if (Lib::FMOD_System_PlaySound(FSystem, Next(4) == 0 ? FStream : FSample, Group, Next(3) == 0, &Made) ==
              FMOD_OK)
            Channels.push_back(Made);
          if (Made != nullptr && Next(2) == 0) (void)Lib::FMOD_Channel_SetCallback(Made, &Ignore);
          break;
        }
        case 1:
          if (Channel != nullptr) (void)Lib::FMOD_Channel_Stop(Channel);
          break;
        case 2:
          if (Channel == nullptr) break;
          (void)Lib::FMOD_Channel_SetVolume(Channel, float(Next(100)) / 100.0f);
          (void)Lib::FMOD_Channel_SetPitch(Channel, 0.5f + float(Next(100)) / 50.0f);
          (void)Lib::FMOD_Channel_SetPan(Channel, float(Next(200)) / 100.0f - 1.0f);
          break;
        case 3: {
          const FMOD_VECTOR Where{float(Next(20)) - 10.0f, 0.0f, float(Next(20))};
          if (Channel != nullptr) (void)Lib::FMOD_Channel_Set3DAttributes(Channel, &Where, &Origin, nullptr);
          (void)Lib::FMOD_System_Set3DListenerAttributes(FSystem, 0, &Origin, nullptr, nullptr, nullptr);
          break;
        }
        case 4:
          if (Channel == nullptr || Unit == nullptr) break;
          if (Next(2) == 0) (void)Lib::FMOD_Channel_AddDSP(Channel, int(Next(3)) - 3 + int(Next(2)) * 3, Unit);
          else (void)Lib::FMOD_Channel_RemoveDSP(Channel, Unit);
          break;
        case 5:
          (void)Lib::FMOD_DSP_SetParameterFloat(Oscillator, FMOD_DSP_OSCILLATOR_RATE, float(100 + Next(2000)));
          (void)Lib::FMOD_DSP_SetParameterFloat(Mix, FMOD_DSP_CHANNELMIX_GAIN_CH0, -float(Next(20)));
          if (Unit != nullptr) (void)Lib::FMOD_DSP_SetWetDryMix(Unit, 1.0f, float(Next(10)) / 10.0f, 0.1f);
          if (Unit != nullptr) (void)Lib::FMOD_DSP_SetBypass(Unit, Next(4) == 0);
          break;
        case 6:
          if (Tone == nullptr) {
            (void)Lib::FMOD_System_PlayDSP(FSystem, Oscillator, Group, false, &Tone);
          } else {
            (void)Lib::FMOD_Channel_Stop(Tone);
            Tone = nullptr;
          }
          break;
        case 7: {
          const unsigned What = Next(5);
          if (What == 0 && Groups.size() < 4) {
            FMOD_CHANNELGROUP* Made = nullptr;
            if (Lib::FMOD_System_CreateChannelGroup(FSystem, "traffic", &Made) == FMOD_OK) Groups.push_back(Made);
          } else if (What == 1 && Group != nullptr && Groups.size() > 1) {
            (void)Lib::FMOD_ChannelGroup_AddGroup(Groups[0], Group, true, nullptr);
          } else if (What == 2 && Group != nullptr && Channel != nullptr) {
            (void)Lib::FMOD_Channel_SetChannelGroup(Channel, Group);
          } else if (What == 3 && Group != nullptr) {
            (void)Lib::FMOD_ChannelGroup_SetVolume(Group, float(Next(10)) / 10.0f);
            (void)Lib::FMOD_ChannelGroup_SetPitch(Group, 0.5f + float(Next(10)) / 10.0f);
            (void)Lib::FMOD_ChannelGroup_AddDSP(Group, 0, Mix);
          } else if (Group != nullptr) {
            (void)Lib::FMOD_ChannelGroup_RemoveDSP(Group, Mix);
            (void)Lib::FMOD_ChannelGroup_Release(Group);
            Groups.erase(std::find(Groups.begin(), Groups.end(), Group));
          }
          break;
        }
        case 8:
          if (Units.size() >= 2) {
            FMOD_DSPCONNECTION* Connection = nullptr;
            if (Lib::FMOD_DSP_AddInput(Units[0], Units[1], &Connection, FMOD_DSPCONNECTION_TYPE_STANDARD) == FMOD_OK)
              (void)Lib::FMOD_DSPConnection_SetMix(Connection, 0.5f);
            (void)Lib::FMOD_DSP_SetMeteringEnabled(Units[0], true, Next(2) == 0);
            FMOD_DSP_METERING_INFO In{}, Out{};
            (void)Lib::FMOD_DSP_GetMeteringInfo(Units[0], &In, &Out);
            if (Next(2) == 0) (void)Lib::FMOD_DSP_DisconnectFrom(Units[0], Units[1], nullptr);
          }
          break;
        case 9: {
          (void)Lib::FMOD_System_Update(FSystem);
          int All = 0, Real = 0;
          (void)Lib::FMOD_System_GetChannelsPlaying(FSystem, &All, &Real);
          break;
        }
        case 10:
          if (Channel == nullptr) break;
          (void)Lib::FMOD_Channel_SetPaused(Channel, Next(2) == 0);
          (void)Lib::FMOD_Channel_SetPosition(Channel, Next(20000), FMOD_TIMEUNIT_PCM);
          (void)Lib::FMOD_Channel_SetLoopCount(Channel, int(Next(3)) - 1);
          (void)Lib::FMOD_Channel_SetMode(Channel, Next(2) == 0 ? FMOD_LOOP_OFF : FMOD_LOOP_NORMAL);
          break;
        default: {
          if (Channel == nullptr) break;
          unsigned long long Clock = 0;
          (void)Lib::FMOD_Channel_GetDSPClock(Channel, &Clock, nullptr);
          (void)Lib::FMOD_Channel_AddFadePoint(Channel, Clock + Next(4096), float(Next(10)) / 10.0f);
          (void)Lib::FMOD_Channel_SetDelay(Channel, Clock + Next(512), 0, false);
          unsigned Position = 0;
          (void)Lib::FMOD_Channel_GetPosition(Channel, &Position, FMOD_TIMEUNIT_PCM);
          float Audibility = 0;
          (void)Lib::FMOD_Channel_GetAudibility(Channel, &Audibility);
          break;
        }
      }
      if (Channels.size() > 48) Channels.erase(Channels.begin(), Channels.begin() + 24);
      Operations.fetch_add(1, std::memory_order_relaxed);
    }
    if (Tone != nullptr) (void)Lib::FMOD_Channel_Stop(Tone);
  }

  FMOD_SYSTEM* const FSystem;
  FMOD_SOUND* FSample = nullptr;
  FMOD_SOUND* FStream = nullptr;
  FMOD_DSP_DESCRIPTION FDescription{};
  std::atomic<bool> FStop{false};
  std::vector<std::thread> FThreads;
};

}  // namespace sonvel::test
