// The ear of the end-to-end test: records what a PulseAudio sink played with
// wall-clock times, and finds known sounds in such a recording.
//
//   sonvel_e2e_probe tee RECORDING TIMES
//       Copies raw float32le 48 kHz stereo from standard input to RECORDING
//       and writes to TIMES one line "<microseconds since the epoch> <bytes
//       so far>" per read, so that every recorded frame can be put on the
//       wall clock.
//
//   sonvel_e2e_probe match RECORDING TIMES FROM_US SOUND@EVENT_US[@LIMIT_MS]...
//       Finds each SOUND (a file libsndfile reads) in the part of the
//       recording made after FROM_US, by normalised cross-correlation, and
//       checks that it starts after its event (a click, the program's start)
//       and at most LIMIT_MS (default 1000) later, that each sound starts
//       while the one before it still plays, and that the sounds found,
//       each with its own level, make up most of the recording. Prints what
//       it found, and how steadily each sound ran (pieces of it that lie off
//       the whole sound's place reveal gaps in the output); answers 0 when
//       every check holds, 1 otherwise. SONVEL_PROBE_VERBOSE=1 lists the
//       offset of every piece.
//
//   sonvel_e2e_probe mix RECORDING TIMES START_US SOUND@OFFSET_MS...
//       Writes a made-up recording (and its TIMES) in which each SOUND starts
//       OFFSET_MS after START_US, at a lower level, over faint noise: the
//       material for testing `match` itself.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int Rate = 48000;
constexpr int Channels = 2;
constexpr std::size_t FrameBytes = Channels * sizeof(float);

using TComplex = std::complex<double>;

std::int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::vector<std::string> Split(const std::string& AText, char ASeparator) {
  std::vector<std::string> Fields;
  std::stringstream Stream(AText);
  std::string Part;
  while (std::getline(Stream, Part, ASeparator)) Fields.push_back(Part);
  return Fields;
}

std::string FileName(const std::string& APath) {
  const auto Slash = APath.find_last_of('/');
  return Slash == std::string::npos ? APath : APath.substr(Slash + 1);
}

// A sound file decoded to mono (the mean of its channels).
std::vector<double> ReadMono(const std::string& APath) {
  SF_INFO Info{};
  SNDFILE* File = sf_open(APath.c_str(), SFM_READ, &Info);
  if (File == nullptr) throw std::runtime_error(APath + ": " + sf_strerror(nullptr));
  if (Info.samplerate != Rate) {
    sf_close(File);
    throw std::runtime_error(APath + ": not " + std::to_string(Rate) + " Hz");
  }
  std::vector<float> Block(4096 * static_cast<std::size_t>(Info.channels));
  std::vector<double> Mono;
  sf_count_t Got;
  while ((Got = sf_readf_float(File, Block.data(), 4096)) > 0)
    for (sf_count_t F = 0; F < Got; ++F) {
      double Sum = 0;
      for (int C = 0; C < Info.channels; ++C) Sum += Block[static_cast<std::size_t>(F * Info.channels + C)];
      Mono.push_back(Sum / Info.channels);
    }
  sf_close(File);
  return Mono;
}

// --- tee ---------------------------------------------------------------------

int Tee(const std::string& ARecording, const std::string& ATimes) {
  std::FILE* Out = std::fopen(ARecording.c_str(), "wb");
  if (Out == nullptr) throw std::runtime_error(ARecording + ": cannot write");
  std::vector<std::pair<std::int64_t, std::uint64_t>> Times;
  std::vector<char> Buffer(1 << 16);
  std::uint64_t Total = 0;
  for (;;) {
    const ssize_t Got = read(STDIN_FILENO, Buffer.data(), Buffer.size());
    if (Got <= 0) break;
    const std::int64_t Now = NowMicroseconds();
    std::fwrite(Buffer.data(), 1, static_cast<std::size_t>(Got), Out);
    Total += static_cast<std::uint64_t>(Got);
    Times.emplace_back(Now, Total);
  }
  std::fclose(Out);
  std::ofstream TimesOut(ATimes);
  for (const auto& [Time, Bytes] : Times) TimesOut << Time << ' ' << Bytes << '\n';
  return TimesOut ? 0 : 1;
}

// --- mix ---------------------------------------------------------------------

int Mix(const std::string& ARecording, const std::string& ATimes, std::int64_t AStart,
        const std::vector<std::string>& ASounds) {
  std::vector<float> Frames;
  for (const std::string& Argument : ASounds) {
    const auto Fields = Split(Argument, '@');
    if (Fields.size() != 2) throw std::runtime_error("expected SOUND@OFFSET_MS, got " + Argument);
    const std::vector<double> Sound = ReadMono(Fields[0]);
    const std::size_t Offset = static_cast<std::size_t>(std::stod(Fields[1]) * Rate / 1000);
    if (Frames.size() < (Offset + Sound.size() + Rate) * Channels)
      Frames.resize((Offset + Sound.size() + Rate) * Channels, 0.0f);
    for (std::size_t I = 0; I < Sound.size(); ++I) {
      Frames[(Offset + I) * Channels] += static_cast<float>(0.7 * Sound[I]);
      Frames[(Offset + I) * Channels + 1] += static_cast<float>(0.6 * Sound[I]);
    }
  }
  std::uint64_t Noise = 12345;
  for (float& V : Frames) {
    Noise = Noise * 6364136223846793005ull + 1442695040888963407ull;
    V += static_cast<float>((static_cast<double>(Noise >> 11) / 9007199254740992.0 - 0.5) * 0.002);
  }
  std::ofstream Out(ARecording, std::ios::binary);
  Out.write(reinterpret_cast<const char*>(Frames.data()), static_cast<std::streamsize>(Frames.size() * sizeof(float)));
  // Blocks of 10 ms, each arriving 2 to 12 ms after its last frame was made.
  std::ofstream TimesOut(ATimes);
  const std::size_t Block = Rate / 100;
  for (std::size_t F = Block, K = 0; F <= Frames.size() / Channels; F += Block, ++K)
    TimesOut << AStart + static_cast<std::int64_t>(F * 1000000 / Rate) + 2000 + static_cast<std::int64_t>(K * 7919 % 10000)
             << ' ' << F * FrameBytes << '\n';
  return Out && TimesOut ? 0 : 1;
}

// --- match -------------------------------------------------------------------

void Fft(std::vector<TComplex>& AData, bool AInverse) {
  const std::size_t N = AData.size();
  for (std::size_t I = 1, J = 0; I < N; ++I) {
    std::size_t Bit = N >> 1;
    for (; J & Bit; Bit >>= 1) J ^= Bit;
    J ^= Bit;
    if (I < J) std::swap(AData[I], AData[J]);
  }
  for (std::size_t Length = 2; Length <= N; Length <<= 1) {
    const double Angle = 2 * std::numbers::pi / static_cast<double>(Length) * (AInverse ? 1 : -1);
    const TComplex Step(std::cos(Angle), std::sin(Angle));
    for (std::size_t I = 0; I < N; I += Length) {
      TComplex W(1);
      for (std::size_t K = 0; K < Length / 2; ++K) {
        const TComplex U = AData[I + K];
        const TComplex V = AData[I + K + Length / 2] * W;
        AData[I + K] = U + V;
        AData[I + K + Length / 2] = U - V;
        W *= Step;
      }
    }
  }
  if (AInverse)
    for (TComplex& V : AData) V /= static_cast<double>(N);
}

struct TFound {
  std::string Name;
  std::size_t Length = 0;    // frames
  std::size_t Lag = 0;       // frame of the recording where the sound's first frame lies
  double Correlation = 0;    // normalised, at Lag
  double NextBest = 0;       // the best normalised correlation more than 50 ms away from Lag
  double Gain = 0;           // the sound's level in the recording, from the joint fit
  std::size_t Audible = 0;   // first frame of the sound above 1 % of its peak
};

int Match(const std::string& ARecording, const std::string& ATimes, std::int64_t AFrom,
          const std::vector<std::string>& ASounds) {
  // The recording as mono.
  std::vector<double> Recording;
  {
    std::ifstream In(ARecording, std::ios::binary);
    std::vector<float> Frame(Channels);
    while (In.read(reinterpret_cast<char*>(Frame.data()), FrameBytes)) Recording.push_back((Frame[0] + Frame[1]) / 2);
  }

  // Sample 0 of the recording on the wall clock. A frame reaches us after it
  // was made, so every read bounds the time of frame 0 from above; the
  // tightest bound is the estimate. Only reads well after FROM_US count,
  // since the sink may have paused (suspended) before then.
  double Origin = 1e300;
  {
    std::ifstream In(ATimes);
    std::int64_t Time;
    std::uint64_t Bytes;
    while (In >> Time >> Bytes)
      if (Time >= AFrom + 300000)
        Origin = std::min(Origin, static_cast<double>(Time) - static_cast<double>(Bytes / FrameBytes) * 1e6 / Rate);
  }
  if (Origin > 1e299) throw std::runtime_error("the recording has no data after the start time");
  auto WallClock = [&](double AFrame) { return Origin + AFrame * 1e6 / Rate; };
  const std::size_t First =
      static_cast<std::size_t>(std::clamp((static_cast<double>(AFrom) - Origin) * Rate / 1e6, 0.0, 1e12));
  if (First >= Recording.size()) throw std::runtime_error("the recording ends before the start time");
  std::cout << "recording: " << Recording.size() << " frames, " << (Recording.size() - First) / double(Rate)
            << " s after the start time\n";

  const std::vector<double> X(Recording.begin() + static_cast<std::ptrdiff_t>(First), Recording.end());
  std::vector<double> Energy(X.size() + 1, 0.0);  // prefix sums of the square
  for (std::size_t I = 0; I < X.size(); ++I) Energy[I + 1] = Energy[I] + X[I] * X[I];

  std::vector<TFound> Found;
  std::vector<std::vector<double>> Sounds;
  std::vector<std::int64_t> Events, Limits;
  bool Ok = true;
  auto Fail = [&](const std::string& AMessage) {
    std::cout << "FAIL: " << AMessage << "\n";
    Ok = false;
  };

  for (const std::string& Argument : ASounds) {
    const auto Fields = Split(Argument, '@');
    if (Fields.size() < 2 || Fields.size() > 3) throw std::runtime_error("expected SOUND@EVENT_US[@LIMIT_MS], got " + Argument);
    Sounds.push_back(ReadMono(Fields[0]));
    Events.push_back(std::stoll(Fields[1]));
    Limits.push_back(Fields.size() == 3 ? std::stoll(Fields[2]) : 1000);
    const std::vector<double>& R = Sounds.back();
    TFound F;
    F.Name = FileName(Fields[0]);
    F.Length = R.size();
    if (R.size() > X.size()) {
      Fail(F.Name + ": the recording is shorter than the sound");
      Found.push_back(F);
      continue;
    }
    double Peak = 0, Norm = 0;
    for (double V : R) Peak = std::max(Peak, std::fabs(V)), Norm += V * V;
    Norm = std::sqrt(Norm);
    while (F.Audible < R.size() && std::fabs(R[F.Audible]) < 0.01 * Peak) ++F.Audible;

    std::size_t N = 1;
    while (N < X.size() + R.size()) N <<= 1;
    std::vector<TComplex> A(N), B(N);
    for (std::size_t I = 0; I < X.size(); ++I) A[I] = X[I];
    for (std::size_t I = 0; I < R.size(); ++I) B[I] = R[I];
    Fft(A, false);
    Fft(B, false);
    for (std::size_t I = 0; I < N; ++I) A[I] *= std::conj(B[I]);
    Fft(A, true);

    // Normalised correlation at every lag where the whole sound fits.
    std::vector<double> Ncc(X.size() - R.size() + 1);
    for (std::size_t Lag = 0; Lag < Ncc.size(); ++Lag) {
      const double Window = Energy[Lag + R.size()] - Energy[Lag];
      Ncc[Lag] = A[Lag].real() / (Norm * std::sqrt(Window) + 1e-12);
    }
    F.Lag = static_cast<std::size_t>(std::max_element(Ncc.begin(), Ncc.end()) - Ncc.begin());
    F.Correlation = Ncc[F.Lag];
    const std::size_t Guard = Rate / 20;
    for (std::size_t Lag = 0; Lag < Ncc.size(); ++Lag)
      if (Lag + Guard < F.Lag || Lag > F.Lag + Guard) F.NextBest = std::max(F.NextBest, Ncc[Lag]);
    Found.push_back(F);
  }

  // The levels of all sounds at once, by least squares, and how much of the
  // recording they explain where they play.
  const std::size_t K = Found.size();
  std::vector<std::vector<double>> Gram(K, std::vector<double>(K + 1, 0.0));
  auto At = [&](std::size_t AIndex, std::size_t AFrame) {
    const TFound& F = Found[AIndex];
    return AFrame >= F.Lag && AFrame < F.Lag + F.Length && F.Length <= X.size() ? Sounds[AIndex][AFrame - F.Lag] : 0.0;
  };
  std::size_t Begin = X.size(), End = 0;
  for (const TFound& F : Found) Begin = std::min(Begin, F.Lag), End = std::max(End, std::min(X.size(), F.Lag + F.Length));
  for (std::size_t I = Begin; I < End; ++I)
    for (std::size_t A = 0; A < K; ++A) {
      const double VA = At(A, I);
      if (VA == 0) continue;
      for (std::size_t B = 0; B < K; ++B) Gram[A][B] += VA * At(B, I);
      Gram[A][K] += VA * X[I];
    }
  for (std::size_t C = 0; C < K; ++C) {  // Gauss-Jordan with partial pivoting
    std::size_t Pivot = C;
    for (std::size_t R = C + 1; R < K; ++R)
      if (std::fabs(Gram[R][C]) > std::fabs(Gram[Pivot][C])) Pivot = R;
    std::swap(Gram[C], Gram[Pivot]);
    if (std::fabs(Gram[C][C]) < 1e-12) continue;
    for (std::size_t R = 0; R < K; ++R)
      if (R != C) {
        const double Factor = Gram[R][C] / Gram[C][C];
        for (std::size_t Col = C; Col <= K; ++Col) Gram[R][Col] -= Factor * Gram[C][Col];
      }
  }
  for (std::size_t C = 0; C < K; ++C) Found[C].Gain = std::fabs(Gram[C][C]) < 1e-12 ? 0 : Gram[C][K] / Gram[C][C];
  double Total = 0, Residual = 0;
  for (std::size_t I = Begin; I < End; ++I) {
    double Model = 0;
    for (std::size_t A = 0; A < K; ++A) Model += Found[A].Gain * At(A, I);
    Total += X[I] * X[I];
    Residual += (X[I] - Model) * (X[I] - Model);
  }
  const double Explained = Total > 0 ? 1 - Residual / Total : 0;

  // How steadily each sound runs: its 100 ms pieces, each matched again
  // within 10 ms of where the whole sound lies, against the recording with
  // the other sounds (as fitted) taken out. A gap or a stutter in the output
  // shifts the pieces after it.
  std::vector<std::string> Steadiness(K);
  const bool Verbose = std::getenv("SONVEL_PROBE_VERBOSE") != nullptr;
  for (std::size_t A = 0; A < K; ++A) {
    const TFound& F = Found[A];
    if (F.Length > X.size()) continue;
    const std::vector<double>& R = Sounds[A];
    std::vector<double> Own(X);
    for (std::size_t B = 0; B < K; ++B)
      if (B != A && Found[B].Length <= X.size())
        for (std::size_t I = Found[B].Lag; I < Found[B].Lag + Found[B].Length; ++I) Own[I] -= Found[B].Gain * At(B, I);
    constexpr std::size_t Piece = Rate / 10, Reach = Rate / 100;
    int Pieces = 0, Shifted = 0, Worst = 0;
    for (std::size_t P = 0; P + Piece <= R.size(); P += Piece) {
      double PieceEnergy = 0;
      for (std::size_t I = P; I < P + Piece; ++I) PieceEnergy += R[I] * R[I];
      if (PieceEnergy < 1e-4 * Piece) continue;  // too quiet to place
      double Best = -1e300;
      int BestShift = 0;
      for (int Shift = -static_cast<int>(Reach); Shift <= static_cast<int>(Reach); ++Shift) {
        const std::ptrdiff_t Offset = static_cast<std::ptrdiff_t>(F.Lag + P) + Shift;
        if (Offset < 0 || static_cast<std::size_t>(Offset) + Piece > X.size()) continue;
        double Sum = 0;
        for (std::size_t I = 0; I < Piece; ++I) Sum += R[P + I] * Own[static_cast<std::size_t>(Offset) + I];
        if (Sum > Best) Best = Sum, BestShift = Shift;
      }
      ++Pieces;
      if (BestShift != 0) ++Shifted;
      if (Verbose) std::printf("  %s at %.1f s: %+d\n", F.Name.c_str(), static_cast<double>(P) / Rate, BestShift);
      Worst = std::max(Worst, std::abs(BestShift));
    }
    char Text[160];
    std::snprintf(Text, sizeof Text, "%d of %d pieces in place, the farthest off by %d frames", Pieces - Shifted, Pieces,
                  Worst);
    Steadiness[A] = Text;
  }


  std::printf("%-16s %10s %12s %12s %8s %8s %9s\n", "sound", "starts at", "after event", "audible at", "corr", "next",
              "level");
  for (std::size_t I = 0; I < K; ++I) {
    const TFound& F = Found[I];
    const double Start = WallClock(static_cast<double>(First + F.Lag));
    const double Delay = (Start - static_cast<double>(Events[I])) / 1000;
    const double AudibleDelay = Delay + static_cast<double>(F.Audible) * 1000 / Rate;
    std::printf("%-16s %8.3f s %9.0f ms %9.0f ms %8.3f %8.3f %6.1f dB\n", F.Name.c_str(),
                static_cast<double>(F.Lag) / Rate, Delay, AudibleDelay, F.Correlation, F.NextBest,
                20 * std::log10(std::max(F.Gain, 1e-9)));
    if (F.Correlation < 0.3 || F.Correlation < 2 * F.NextBest)
      Fail(F.Name + ": not found (no clear correlation peak)");
    else if (F.Gain < 0.05)
      Fail(F.Name + ": found only far too faint");
    if (Delay < -30) Fail(F.Name + ": starts before its event");
    if (Delay > static_cast<double>(Limits[I])) Fail(F.Name + ": starts more than " + std::to_string(Limits[I]) + " ms after its event");
  }
  for (std::size_t I = 0; I < K; ++I)
    if (!Steadiness[I].empty()) std::printf("steady: %s: %s\n", Found[I].Name.c_str(), Steadiness[I].c_str());
  for (std::size_t I = 1; I < K; ++I) {
    const TFound &Before = Found[I - 1], &F = Found[I];
    const double Left = (static_cast<double>(Before.Lag + Before.Length) - static_cast<double>(F.Lag)) / Rate;
    if (F.Lag < Before.Lag || Left <= 0)
      Fail(F.Name + " does not start while " + Before.Name + " still plays");
    else
      std::printf("overlap: %s starts while %s plays (%.2f s of it left)\n", F.Name.c_str(), Before.Name.c_str(), Left);
  }
  std::printf("explained: the sounds make up %.1f %% of the recording's energy where they play\n", 100 * Explained);
  // Short gaps in the output (a loaded machine) shift parts of a sound and
  // lower this figure; it still shows when something else entirely plays.
  if (Explained < 0.5) Fail("the recording holds much more than the sounds found");
  std::cout << (Ok ? "PASS" : "FAIL") << "\n";
  return Ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> Args(argv + 1, argv + argc);
    if (Args.size() == 3 && Args[0] == "tee") return Tee(Args[1], Args[2]);
    if (Args.size() >= 5 && Args[0] == "match")
      return Match(Args[1], Args[2], std::stoll(Args[3]), {Args.begin() + 4, Args.end()});
    if (Args.size() >= 5 && Args[0] == "mix")
      return Mix(Args[1], Args[2], std::stoll(Args[3]), {Args.begin() + 4, Args.end()});
    std::cerr << "usage: sonvel_e2e_probe tee RECORDING TIMES\n"
                 "       sonvel_e2e_probe match RECORDING TIMES FROM_US SOUND@EVENT_US[@LIMIT_MS]...\n"
                 "       sonvel_e2e_probe mix RECORDING TIMES START_US SOUND@OFFSET_MS...\n";
    return 2;
  } catch (const std::exception& E) {
    std::cerr << "sonvel_e2e_probe: " << E.what() << "\n";
    return 2;
  }
}
