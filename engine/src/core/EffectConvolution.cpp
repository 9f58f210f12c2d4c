// The convolution reverb: uniformly partitioned overlap-save convolution
// with no added latency. The impulse response is cut into partitions of the
// block size; each partition's spectrum (of twice that size) is ready when
// the IR is set. Within a block, the current block's input (as far as it has
// arrived, zeros after) meets the first partition, so output frame n holds
// input frame n; the older blocks meet the later partitions once per block,
// when a block is complete.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Builtins.h"
#include "EffectSupport.h"
#include "SpectralSupport.h"

namespace sonvel::engine::core {

namespace {

const FMOD_DSP_PARAMETER_DESC kIr = DataParameter(
    "IR", "", "Impulse response: 16-bit values, the channel count first, then interleaved PCM at the system rate.",
    FMOD_DSP_PARAMETER_DATA_TYPE_USER);
const FMOD_DSP_PARAMETER_DESC kWet = FloatParameter("Wet", "dB", "Level of the convolved signal.", -80.0f, 10.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kDry = FloatParameter("Dry", "dB", "Level of the original signal.", -80.0f, 10.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kLinked = BoolParameter(
    "Linked", "", "On: the input channels are mixed to one before convolving; off: each channel is convolved on its own.",
    true);
const FMOD_DSP_PARAMETER_DESC* const kTable[] = {&kIr, &kWet, &kDry, &kLinked};

using Cpx = kiss_fft_cpx;

// The IR's partitions and the running state of one convolution.
struct Convolver {
  int P = 0;            // partition (and block) length
  int K = 0;            // partitions; 0: no IR
  int irChannels = 0;
  int feeds = 0;        // input histories: 1 when linked, else one per channel
  int results = 0;      // distinct output signals
  bool linked = true;
  std::size_t irFrames = 0;
  RealFft forward, inverse;
  // Spectra are kept as split real and imaginary parts, P + 1 of each, so
  // that the multiply-adds over the partitions vectorise.
  std::vector<float> h;   // [irChannels][K][2][P + 1]
  std::vector<float> fdl; // [feeds][K][2][P + 1]: the spectra of past blocks, a ring
  std::vector<float> in;  // [feeds][2P]: the previous block, then the current one
  std::vector<Cpx> x;     // [feeds][P + 1]: the current block's spectrum
  std::vector<float> tail;  // [results][2][P + 1]: what the older blocks add to the current one
  std::vector<Cpx> y;     // [P + 1]
  std::vector<float> t;   // [2P]
  int head = 0;           // fdl slot of the newest complete block
  int pos = 0;            // frames of the current block seen

  float* H(int g, int j) { return &h[(std::size_t(g) * K + j) * 2 * (P + 1)]; }
  float* Fdl(int f, int j) { return &fdl[(std::size_t(f) * K + j) * 2 * (P + 1)]; }
  float* Tail(int r) { return &tail[std::size_t(r) * 2 * (P + 1)]; }

  // acc += a * b over P + 1 bins, split parts.
  void MultiplyAdd(float* __restrict acc, const float* __restrict a, const float* __restrict b) const noexcept {
    const int n = P + 1;
    float* __restrict accI = acc + n;
    const float* __restrict aI = a + n;
    const float* __restrict bI = b + n;
    for (int k = 0; k < n; ++k) {
      acc[k] += a[k] * b[k] - aI[k] * bI[k];
      accI[k] += a[k] * bI[k] + aI[k] * b[k];
    }
  }

  void Split(const Cpx* from, float* to) const noexcept {
    for (int k = 0; k <= P; ++k) {
      to[k] = from[k].r;
      to[P + 1 + k] = from[k].i;
    }
  }

  void Clear() noexcept {
    std::fill(fdl.begin(), fdl.end(), 0.0f);
    std::fill(in.begin(), in.end(), 0.0f);
    std::fill(tail.begin(), tail.end(), 0.0f);
    head = 0;
    pos = 0;
  }

  // Convolves `n` frames (pos + n <= P) of `width` channels, adding wet *
  // result to `out` (`outWidth` per frame). `in` is `inWidth` per frame.
  void Run(const float* src, int inWidth, int width, unsigned n, float* out, int outWidth, const float* wet) noexcept {
    const int L = 2 * P;
    const int active = linked ? 1 : std::min(feeds, width);
    for (int f = 0; f < active; ++f) {
      float* cur = &in[std::size_t(f) * L + P + pos];
      if (linked) {
        const float scale = 1.0f / float(width);
        for (unsigned j = 0; j < n; ++j) {
          float s = 0.0f;
          for (int c = 0; c < width; ++c) s += src[std::size_t(j) * inWidth + c];
          cur[j] = s * scale;
        }
      } else {
        for (unsigned j = 0; j < n; ++j) cur[j] = f < width ? src[std::size_t(j) * inWidth + f] : 0.0f;
      }
      forward.Forward(&in[std::size_t(f) * L], &x[std::size_t(f) * (P + 1)]);
    }
    const float norm = 1.0f / float(L);
    const int count = std::min(results, linked ? irChannels : width);
    for (int r = 0; r < count; ++r) {
      const int f = linked ? 0 : r;
      const Cpx* X = &x[std::size_t(f) * (P + 1)];
      const float* H0 = H(r % irChannels, 0);
      const float* H0i = H0 + P + 1;
      const float* T = Tail(r);
      const float* Ti = T + P + 1;
      for (int k = 0; k <= P; ++k) {
        y[k].r = T[k] + X[k].r * H0[k] - X[k].i * H0i[k];
        y[k].i = Ti[k] + X[k].r * H0i[k] + X[k].i * H0[k];
      }
      inverse.Inverse(y.data(), t.data());
      for (int c = r; c < width; c += (linked ? irChannels : width)) {
        for (unsigned j = 0; j < n; ++j) out[std::size_t(j) * outWidth + c] += wet[j] * t[P + pos + j] * norm;
      }
    }
    pos += int(n);
    if (pos < P) return;
    // The block is complete: it joins the history, and the history's
    // contribution to the next block is summed now.
    head = (head + 1) % K;
    for (int f = 0; f < active; ++f) {
      Split(&x[std::size_t(f) * (P + 1)], Fdl(f, head));
      float* buf = &in[std::size_t(f) * L];
      std::copy_n(buf + P, P, buf);
      std::fill_n(buf + P, P, 0.0f);
    }
    for (int r = 0; r < count; ++r) {
      const int f = linked ? 0 : r;
      float* T = Tail(r);
      std::fill_n(T, 2 * (P + 1), 0.0f);
      for (int j = 1; j < K; ++j) MultiplyAdd(T, Fdl(f, (head - (j - 1) + K) % K), H(r % irChannels, j));
    }
    pos = 0;
  }
};

class ConvolutionProcessor final : public BuiltinProcessor {
public:
  explicit ConvolutionProcessor(const EffectContext& context)
      : BuiltinProcessor("Convolution Reverb", kTable, int(std::size(kTable))), context_(context),
        width_(std::max(1, std::min(context.maxChannels, kMaxWidth))),
        partition_(int(std::clamp(context.blockFrames, 32u, 8192u) + 1) & ~1),
        wet_(std::max<std::size_t>(context.blockFrames, 1)),
        fade_(wet_.size()) {}

  FMOD_RESULT SetData(int index, void* data, unsigned length) noexcept override {
    if (index != FMOD_DSP_CONVOLUTION_REVERB_PARAM_IR) return FMOD_ERR_INVALID_PARAM;
    if (data == nullptr || length < 2) {
      ir_.clear();
    } else {
      const auto* values = static_cast<const std::int16_t*>(data);
      const int channels = values[0];
      if (channels < 1 || channels > kMaxWidth) return FMOD_ERR_INVALID_PARAM;
      ir_.assign(values, values + length / 2);
    }
    Rebuild();
    return FMOD_OK;
  }

  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override {
    if (index != FMOD_DSP_CONVOLUTION_REVERB_PARAM_IR) return FMOD_ERR_INVALID_PARAM;
    if (data != nullptr) *data = ir_.empty() ? nullptr : ir_.data();
    if (length != nullptr) *length = unsigned(ir_.size() * 2);
    if (text != nullptr)
      std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%u ms",
                    unsigned(IrFrames() * 1000 / std::size_t(context_.sampleRate)));
    return FMOD_OK;
  }

  void Reset() noexcept override {
    if (Convolver* c = state_.Current()) c->Clear();
    idle_ = ~std::size_t(0) / 2;
    started_ = false;
  }

  bool Process(ProcessBlock& b) noexcept override {
    const bool fresh = state_.Begin();
    Convolver* cur = state_.Current();
    Convolver* old = fresh ? state_.Previous() : nullptr;
    if (old != nullptr && old->K == 0) old = nullptr;
    const bool hasIr = cur != nullptr && cur->K > 0;
    const unsigned frames = std::min<unsigned>(b.frames, unsigned(wet_.size()));
    const int outWidth = std::min(b.inWidth, b.capacity);
    b.outWidth = outWidth;
    const int width = std::min(outWidth, width_);

    if (!b.inputIdle) idle_ = 0;
    else idle_ += frames;
    const std::size_t ring = std::max(hasIr ? cur->irFrames : 0, old != nullptr ? old->irFrames : 0) +
                             2 * std::size_t(partition_);
    const bool sounding = !b.inputIdle || ((hasIr || old != nullptr) && idle_ <= ring);
    const float wetTarget = DecibelsToGain(FloatAt(FMOD_DSP_CONVOLUTION_REVERB_PARAM_WET));
    const float dryTarget = DecibelsToGain(FloatAt(FMOD_DSP_CONVOLUTION_REVERB_PARAM_DRY));
    wetRamp_.Set(wetTarget, frames);
    dryRamp_.Set(dryTarget, frames);
    if (!sounding || !started_) {
      // The levels start where they are set; they move only while sounding.
      started_ = true;
      wetRamp_.Jump(wetTarget);
      dryRamp_.Jump(dryTarget);
      if (!sounding) return false;
    }

    for (unsigned j = 0; j < frames; ++j) {
      const float d = dryRamp_.Next();
      wet_[j] = wetRamp_.Next();
      for (int c = 0; c < outWidth; ++c)
        b.out[std::size_t(j) * outWidth + c] = b.in[std::size_t(j) * b.inWidth + c] * (c < width ? d : 1.0f);
    }
    if (hasIr) {
      if (old != nullptr) {
        // The new IR's output fades in while the old one's fades out.
        for (unsigned j = 0; j < frames; ++j) fade_[j] = wet_[j] * float(j + 1) / float(frames);
        Convolve(*cur, b, width, frames, b.out, outWidth, fade_.data());
      } else {
        Convolve(*cur, b, width, frames, b.out, outWidth, wet_.data());
      }
    }
    if (old != nullptr) {
      for (unsigned j = 0; j < frames; ++j) fade_[j] = wet_[j] * (1.0f - float(j + 1) / float(frames));
      Convolve(*old, b, width, frames, b.out, outWidth, fade_.data());
    }
    return true;
  }

protected:
  void Changed(int index) noexcept override {
    if (index == FMOD_DSP_CONVOLUTION_REVERB_PARAM_LINKED) Rebuild();
  }

private:
  std::size_t IrFrames() const noexcept {
    return ir_.size() > 1 ? (ir_.size() - 1) / std::size_t(std::max<int>(ir_[0], 1)) : 0;
  }

  static void Convolve(Convolver& c, ProcessBlock& b, int width, unsigned frames, float* out, int outWidth,
                       const float* wet) noexcept {
    for (unsigned done = 0; done < frames;) {
      const unsigned n = std::min(frames - done, unsigned(c.P - c.pos));
      c.Run(b.in + std::size_t(done) * b.inWidth, b.inWidth, width, n, out + std::size_t(done) * outWidth, outWidth,
            wet + done);
      done += n;
    }
  }

  // Builds the convolution for the current IR and LINKED (the API's thread).
  void Rebuild() noexcept {
    try {
      auto c = std::make_unique<Convolver>();
      const std::size_t frames = IrFrames();
      if (frames > 0) {
        const int P = partition_;
        c->P = P;
        c->irChannels = std::min<int>(ir_[0], width_);
        const int stride = ir_[0];
        c->irFrames = frames;
        c->K = int((frames + std::size_t(P) - 1) / std::size_t(P));
        c->linked = IntAt(FMOD_DSP_CONVOLUTION_REVERB_PARAM_LINKED) != 0;
        c->feeds = c->linked ? 1 : width_;
        c->results = c->linked ? std::min(c->irChannels, width_) : width_;
        c->forward = RealFft(2 * P, false);
        c->inverse = RealFft(2 * P, true);
        c->h.assign(std::size_t(c->irChannels) * c->K * 2 * (P + 1), 0.0f);
        c->fdl.assign(std::size_t(c->feeds) * c->K * 2 * (P + 1), 0.0f);
        c->in.assign(std::size_t(c->feeds) * 2 * P, 0.0f);
        c->x.assign(std::size_t(c->feeds) * (P + 1), Cpx{0, 0});
        c->tail.assign(std::size_t(c->results) * 2 * (P + 1), 0.0f);
        c->y.assign(std::size_t(P + 1), Cpx{0, 0});
        c->t.assign(std::size_t(2 * P), 0.0f);
        std::vector<float> part(std::size_t(2 * P));
        std::vector<Cpx> bins(std::size_t(P + 1));
        for (int g = 0; g < c->irChannels; ++g) {
          for (int j = 0; j < c->K; ++j) {
            std::fill(part.begin(), part.end(), 0.0f);
            for (int i = 0; i < P; ++i) {
              const std::size_t frame = std::size_t(j) * P + i;
              if (frame < frames) part[std::size_t(i)] = float(ir_[1 + frame * stride + g]) / 32768.0f;
            }
            c->forward.Forward(part.data(), bins.data());
            c->Split(bins.data(), c->H(g, j));
          }
        }
      }
      state_.Offer(c.release());
    } catch (...) {
      // Out of memory: the unit keeps the IR it had.
    }
  }

  const EffectContext context_;
  const int width_;
  const int partition_;
  std::vector<std::int16_t> ir_;  // the caller's IR, as given (API side)
  Handoff<Convolver> state_;
  std::vector<float> wet_, fade_;
  Ramp wetRamp_{1.0f}, dryRamp_{1.0f};
  bool started_ = false;
  std::size_t idle_ = ~std::size_t(0) / 2;  // frames since the input last sounded
};

}  // namespace

std::unique_ptr<Processor> NewConvolutionEffect(const EffectContext& context) {
  return std::make_unique<ConvolutionProcessor>(context);
}

}  // namespace sonvel::engine::core
