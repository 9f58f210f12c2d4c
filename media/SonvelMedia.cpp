// Synthesises the three demo sounds into a folder:
//
//   drumloop-2.ogg  two bars of drums (kick, snare, hats), Ogg Vorbis, stereo
//   explosion.mp3   a noise burst over a decaying low rumble, MP3, mono
//   jaguar.wav      a low, rough, modulated growl, 16-bit PCM WAV, mono
//
// Usage: sonvel_media OUTPUT_FOLDER
//
// Every random source has a fixed seed, so the audio is the same on every
// run. The Ogg serial numbers, which the encoder library draws from the
// clock, are rewritten to a fixed value so that the files are the same byte
// for byte as well.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int SampleRate = 48000;
constexpr double Pi = std::numbers::pi;

// A small deterministic generator (xorshift64*), so that the sounds never
// depend on the standard library's choice of engine or distribution.
class TNoise {
public:
  explicit TNoise(std::uint64_t ASeed) : FState(ASeed ? ASeed : 0x9E3779B97F4A7C15ull) {}
  // Uniform in [-1, 1).
  double Next() {
    FState ^= FState >> 12;
    FState ^= FState << 25;
    FState ^= FState >> 27;
    const std::uint64_t Value = FState * 0x2545F4914F6CDD1Dull;
    return static_cast<double>(Value >> 11) / 4503599627370496.0 - 1.0;  // 2^52
  }

private:
  std::uint64_t FState;
};

// A second-order resonant band-pass (constant peak gain), for formants and
// the snare's and hats' noise colour.
class TBandPass {
public:
  TBandPass(double AFrequency, double AQ) { Tune(AFrequency, AQ); }
  void Tune(double AFrequency, double AQ) {
    const double W = 2 * Pi * AFrequency / SampleRate;
    const double Alpha = std::sin(W) / (2 * AQ);
    const double A0 = 1 + Alpha;
    FB0 = Alpha / A0;
    FA1 = -2 * std::cos(W) / A0;
    FA2 = (1 - Alpha) / A0;
  }
  double Process(double AIn) {
    const double Out = FB0 * AIn - FB0 * FX2 - FA1 * FY1 - FA2 * FY2;
    FX2 = FX1;
    FX1 = AIn;
    FY2 = FY1;
    FY1 = Out;
    return Out;
  }

private:
  double FB0 = 0, FA1 = 0, FA2 = 0;
  double FX1 = 0, FX2 = 0, FY1 = 0, FY2 = 0;
};

// One-pole low-pass.
class TLowPass {
public:
  explicit TLowPass(double AFrequency) : FCoef(1 - std::exp(-2 * Pi * AFrequency / SampleRate)) {}
  double Process(double AIn) { return FState += FCoef * (AIn - FState); }

private:
  double FCoef;
  double FState = 0;
};

struct TTrack {
  int Channels;
  std::vector<float> Frames;  // interleaved

  TTrack(int AChannels, double ASeconds)
      : Channels(AChannels), Frames(static_cast<std::size_t>(ASeconds * SampleRate) * AChannels, 0.0f) {}
  std::size_t FrameCount() const { return Frames.size() / Channels; }

  // Adds a mono voice at AStart (in frames) with a gain per channel.
  void Mix(std::size_t AStart, const std::vector<double>& AVoice, double ALeft, double ARight = 0) {
    for (std::size_t I = 0; I < AVoice.size() && AStart + I < FrameCount(); ++I) {
      float* Frame = &Frames[(AStart + I) * Channels];
      Frame[0] += static_cast<float>(AVoice[I] * ALeft);
      if (Channels > 1) Frame[1] += static_cast<float>(AVoice[I] * ARight);
    }
  }

  void Normalise(double APeak) {
    float Max = 0;
    for (float V : Frames) Max = std::max(Max, std::fabs(V));
    if (Max > 0)
      for (float& V : Frames) V = static_cast<float>(V * (APeak / Max));
  }

  // Short fades at both ends, so that no sound starts or stops with a step.
  void Fade(double AInSeconds, double AOutSeconds) {
    const std::size_t In = static_cast<std::size_t>(AInSeconds * SampleRate);
    const std::size_t Out = static_cast<std::size_t>(AOutSeconds * SampleRate);
    const std::size_t N = FrameCount();
    for (std::size_t I = 0; I < N; ++I) {
      double G = 1;
      if (I < In) G = static_cast<double>(I) / In;
      if (N - 1 - I < Out) G = std::min(G, static_cast<double>(N - 1 - I) / Out);
      for (int C = 0; C < Channels; ++C) Frames[I * Channels + C] = static_cast<float>(Frames[I * Channels + C] * G);
    }
  }
};

std::size_t Frames(double ASeconds) { return static_cast<std::size_t>(ASeconds * SampleRate); }

// --- drum loop ---------------------------------------------------------------

std::vector<double> Kick(TNoise& ANoise, double AAccent) {
  std::vector<double> V(Frames(0.45));
  const double Base = 48 + 6 * ANoise.Next(), Drop = 110 + 25 * ANoise.Next();
  double Phase = 0;
  for (std::size_t I = 0; I < V.size(); ++I) {
    const double T = static_cast<double>(I) / SampleRate;
    const double Frequency = Base + Drop * std::exp(-T / 0.035);  // the beater's pitch drop
    Phase += 2 * Pi * Frequency / SampleRate;
    const double Body = std::sin(Phase) * std::exp(-T / 0.16);
    const double Click = ANoise.Next() * std::exp(-T / 0.002) * 0.35;
    V[I] = AAccent * (Body + Click);
  }
  return V;
}

std::vector<double> Snare(TNoise& ANoise, double AAccent) {
  std::vector<double> V(Frames(0.3));
  TBandPass Rattle(3800, 0.7);
  const double Tune = 1 + 0.06 * ANoise.Next();
  for (std::size_t I = 0; I < V.size(); ++I) {
    const double T = static_cast<double>(I) / SampleRate;
    const double Shell = (0.6 * std::sin(2 * Pi * 185 * Tune * T) + 0.35 * std::sin(2 * Pi * 332 * Tune * T)) *
                         std::exp(-T / 0.05);
    const double Wires = Rattle.Process(ANoise.Next()) * 2.2 * std::exp(-T / 0.11);
    V[I] = AAccent * (Shell + Wires);
  }
  return V;
}

std::vector<double> HiHat(TNoise& ANoise, double AAccent, double ADecay) {
  std::vector<double> V(Frames(ADecay * 6));
  TBandPass Sizzle(9000, 1.2);
  double Previous = 0;
  for (std::size_t I = 0; I < V.size(); ++I) {
    const double T = static_cast<double>(I) / SampleRate;
    const double Raw = ANoise.Next();
    const double High = Raw - Previous;  // first difference: only the top end stays
    Previous = Raw;
    V[I] = AAccent * (0.5 * High + Sizzle.Process(Raw)) * std::exp(-T / ADecay);
  }
  return V;
}

// 120 beats per minute, two bars of 4/4: 4 seconds. Bar 2 differs from bar 1
// (an extra kick, a ghost snare, an open hat), every hit draws fresh noise and
// is tuned and placed slightly differently, so no stretch of the loop repeats
// another.
TTrack DrumLoop() {
  constexpr double Beat = 0.5;
  TTrack Track(2, 4.0);
  TNoise Noise(0x5EED0001);
  // Each hit draws its timing first, then its sound: one fixed order of draws.
  auto Hit = [&](double ABeats, auto AMake, double ALeft, double ARight) {
    const std::size_t Start = Frames(ABeats * Beat + 0.004 * (1 + Noise.Next()));
    Track.Mix(Start, AMake(), ALeft, ARight);
  };

  for (double B : {0.0, 2.0, 4.0, 6.0, 6.5})
    Hit(B, [&] { return Kick(Noise, B == 6.5 ? 0.7 : 1.0); }, 0.9, 0.9);
  for (double B : {1.0, 3.0, 5.0, 7.0}) Hit(B, [&] { return Snare(Noise, 0.8); }, 0.75, 0.7);
  Hit(7.75, [&] { return Snare(Noise, 0.3); }, 0.7, 0.75);  // ghost note before the loop turns round
  for (int E = 0; E < 16; ++E) {
    const double Decay = E == 15 ? 0.09 : 0.018;  // the last one is an open hat
    const double Accent = E % 2 == 0 ? 0.55 : 0.35;
    Hit(E * 0.5, [&] { return HiHat(Noise, Accent, Decay); }, 0.45, 0.65);
  }
  Track.Normalise(0.5);
  Track.Fade(0.001, 0.01);
  return Track;
}

// --- explosion ---------------------------------------------------------------

// A sharp broadband crack, then a rumble whose pitch and brightness sink as
// it dies away over three seconds.
TTrack Explosion() {
  TTrack Track(1, 3.0);
  TNoise Noise(0x5EED0002);
  TLowPass Rumble1(180), Rumble2(180), Debris(2500);
  double Thump = 0;
  for (std::size_t I = 0; I < Track.FrameCount(); ++I) {
    const double T = static_cast<double>(I) / SampleRate;
    const double White = Noise.Next();
    const double Crack = White * std::exp(-T / 0.06);
    const double Low = Rumble2.Process(Rumble1.Process(White)) * 9.0 * std::exp(-T / 0.9);
    const double Mid = Debris.Process(White) * 1.2 * std::exp(-T / 0.35);
    Thump += 2 * Pi * (34 + 40 * std::exp(-T / 0.25)) / SampleRate;
    const double Body = std::sin(Thump) * 0.8 * std::exp(-T / 0.5);
    const double Attack = std::min(1.0, T / 0.003);
    Track.Frames[I] = static_cast<float>(Attack * (Crack + Low + Mid + Body));
  }
  Track.Normalise(0.55);
  Track.Fade(0.0, 0.2);
  return Track;
}

// --- growl -------------------------------------------------------------------

// A low voice around 75 Hz, its pitch rising and falling, with cycle-to-cycle
// jitter, a fluttering 27 Hz amplitude roughness and breath, shaped by two
// throat resonances.
TTrack Growl() {
  TTrack Track(1, 2.5);
  TNoise Noise(0x5EED0003);
  TBandPass Formant1(420, 4), Formant2(1150, 6);
  TLowPass Jitter(30), Breath(1800);
  double Phase = 0;
  const double Length = 2.5;
  for (std::size_t I = 0; I < Track.FrameCount(); ++I) {
    const double T = static_cast<double>(I) / SampleRate;
    const double Contour = 68 + 22 * std::sin(Pi * T / Length) + 6 * std::sin(2 * Pi * 1.7 * T);
    const double Frequency = Contour * (1 + 0.8 * Jitter.Process(Noise.Next()));
    Phase += Frequency / SampleRate;
    Phase -= std::floor(Phase);
    // A band-limited saw: harmonics up to about 3 kHz.
    double Saw = 0;
    const int Harmonics = static_cast<int>(3000 / Frequency);
    for (int K = 1; K <= Harmonics; ++K) Saw += std::sin(2 * Pi * K * Phase) / K;
    const double Rough = 0.55 + 0.45 * std::sin(2 * Pi * 27 * T + 0.7 * std::sin(2 * Pi * 3.1 * T));
    const double Voice = Saw * Rough + Breath.Process(Noise.Next()) * 0.6;
    const double Shaped = Formant1.Process(Voice) * 1.4 + Formant2.Process(Voice) * 0.6 + Voice * 0.15;
    const double Swell = std::min(1.0, T / 0.18) * (0.75 + 0.25 * std::sin(2 * Pi * 0.9 * T + 1.0)) *
                         std::min(1.0, (Length - T) / 0.45);
    Track.Frames[I] = static_cast<float>(Shaped * Swell);
  }
  Track.Normalise(0.5);
  Track.Fade(0.002, 0.02);
  return Track;
}

// --- writing -----------------------------------------------------------------

void Write(const std::filesystem::path& APath, const TTrack& ATrack, int AFormat,
           void (*ASettings)(SNDFILE*) = nullptr) {
  SF_INFO Info{};
  Info.samplerate = SampleRate;
  Info.channels = ATrack.Channels;
  Info.format = AFormat;
  SNDFILE* File = sf_open(APath.string().c_str(), SFM_WRITE, &Info);
  if (File == nullptr) throw std::runtime_error(APath.string() + ": " + sf_strerror(nullptr));
  if (ASettings) ASettings(File);
  const sf_count_t Count = static_cast<sf_count_t>(ATrack.FrameCount());
  const sf_count_t Written = sf_writef_float(File, ATrack.Frames.data(), Count);
  const std::string Error = sf_strerror(File);
  sf_close(File);
  if (Written != Count) throw std::runtime_error(APath.string() + ": " + Error);
}

// The CRC of an Ogg page (polynomial 0x04C11DB7, not reflected, starting at 0).
std::uint32_t OggCrc(const unsigned char* AData, std::size_t ASize) {
  std::uint32_t Crc = 0;
  for (std::size_t I = 0; I < ASize; ++I) {
    Crc ^= static_cast<std::uint32_t>(AData[I]) << 24;
    for (int B = 0; B < 8; ++B) Crc = (Crc & 0x80000000u) ? (Crc << 1) ^ 0x04C11DB7u : Crc << 1;
  }
  return Crc;
}

// Gives every page of a single-stream Ogg file the serial number ASerial and
// a matching checksum.
void FixOggSerial(const std::filesystem::path& APath, std::uint32_t ASerial) {
  std::vector<unsigned char> Data;
  {
    std::ifstream In(APath, std::ios::binary);
    Data.assign(std::istreambuf_iterator<char>(In), {});
  }
  std::size_t Pos = 0;
  while (Pos + 27 <= Data.size()) {
    unsigned char* Page = &Data[Pos];
    if (Page[0] != 'O' || Page[1] != 'g' || Page[2] != 'g' || Page[3] != 'S')
      throw std::runtime_error(APath.string() + ": not an Ogg page at byte " + std::to_string(Pos));
    const std::size_t Segments = Page[26];
    if (Pos + 27 + Segments > Data.size()) break;
    std::size_t Size = 27 + Segments;
    for (std::size_t S = 0; S < Segments; ++S) Size += Page[27 + S];
    if (Pos + Size > Data.size()) throw std::runtime_error(APath.string() + ": truncated Ogg page");
    for (int B = 0; B < 4; ++B) Page[14 + B] = static_cast<unsigned char>(ASerial >> (8 * B));
    for (int B = 0; B < 4; ++B) Page[22 + B] = 0;
    const std::uint32_t Crc = OggCrc(Page, Size);
    for (int B = 0; B < 4; ++B) Page[22 + B] = static_cast<unsigned char>(Crc >> (8 * B));
    Pos += Size;
  }
  std::ofstream Out(APath, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  if (!Out) throw std::runtime_error(APath.string() + ": cannot write");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " OUTPUT_FOLDER\n";
    return 2;
  }
  try {
    const std::filesystem::path Folder = argv[1];
    std::filesystem::create_directories(Folder);

    Write(Folder / "drumloop-2.ogg", DrumLoop(), SF_FORMAT_OGG | SF_FORMAT_VORBIS, [](SNDFILE* F) {
      double Quality = 0.3;
      sf_command(F, SFC_SET_VBR_ENCODING_QUALITY, &Quality, sizeof Quality);
    });
    FixOggSerial(Folder / "drumloop-2.ogg", 0x536F6E76);  // "Sonv"

    Write(Folder / "explosion.mp3", Explosion(), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, [](SNDFILE* F) {
      int Mode = SF_BITRATE_MODE_CONSTANT;
      sf_command(F, SFC_SET_BITRATE_MODE, &Mode, sizeof Mode);
      double Level = 0.5;  // 0 is the highest bit rate, 1 the lowest
      sf_command(F, SFC_SET_COMPRESSION_LEVEL, &Level, sizeof Level);
    });

    Write(Folder / "jaguar.wav", Growl(), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  } catch (const std::exception& E) {
    std::cerr << "sonvel_media: " << E.what() << "\n";
    return 1;
  }
  return 0;
}
