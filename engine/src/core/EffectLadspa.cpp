// The LADSPA host: a unit that runs a plug-in of a LADSPA library.
//
// Parameter 0 ("Library", data) takes the library's path, zero-terminated:
// absolute, or a bare file name looked up in LADSPA_PATH and then
// /usr/lib/ladspa. Parameter 1 ("Plugin") picks the plug-in in the library
// by its index. Once a plug-in is loaded, one float parameter per control
// input port follows, from index 2, in port order.
//
// Loading builds a whole new instance on the API's thread (library opened,
// plug-ins instantiated, ports connected, activated) and hands it to the
// mixer atomically; the one it replaces is deactivated, cleaned up and its
// library closed on the API's thread once the mixer has let go of it. A load
// that fails leaves the unit as it was.
//
// Channels: a plug-in with one audio output and at most one audio input
// runs one instance per channel (up to context.maxChannels); any other runs
// once, its input port p fed channel p (wrapping round the input's
// channels), its output port c written to channel c. Channels it has no
// output for pass through.
#include <dlfcn.h>
#include <ladspa.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "EffectMeters.h"
#include "EffectSupport.h"

namespace sonvel::engine::core {

namespace {

enum : int { kLibrary = 0, kPlugin = 1, kFirstControl = 2 };
constexpr int kMaxPluginIndex = 65535;
// The range given to a control port with no bound on a side.
constexpr float kUnbounded = 100000.0f;
// Output quieter than this while the input is idle counts as the tail's end.
constexpr float kQuiet = 1e-6f;  // -120 dB
// The longest tail waited for: silent output this long (idle input) stops the plug-in.
constexpr double kTailSeconds = 10.0;

const FMOD_DSP_PARAMETER_DESC kLibraryDesc =
    DataParameter("Library", "", "Path of the LADSPA library (absolute, or a file name looked up in LADSPA_PATH).",
                  FMOD_DSP_PARAMETER_DATA_TYPE_USER);
const FMOD_DSP_PARAMETER_DESC kPluginDesc =
    IntParameter("Plugin", "", "Index of the plug-in in the library.", 0, kMaxPluginIndex, 0);

bool IsFile(const std::string& path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

// The file a library name stands for, or empty.
std::string Resolve(const std::string& name) {
  if (name.find('/') != std::string::npos) return IsFile(name) ? name : std::string();
  std::string dirs;
  if (const char* env = std::getenv("LADSPA_PATH")) dirs = env;
  dirs += dirs.empty() ? "/usr/lib/ladspa" : ":/usr/lib/ladspa";
  for (std::size_t at = 0; at <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', at), dirs.size());
    const std::string dir = dirs.substr(at, end - at);
    if (!dir.empty()) {
      const std::string path = dir + "/" + name;
      if (IsFile(path)) return path;
    }
    at = end + 1;
  }
  return std::string();
}

// A control port's range and default from its hints.
FMOD_DSP_PARAMETER_DESC ControlDesc(const LADSPA_PortRangeHint& hint, const char* portName, int rate, char* label) {
  const LADSPA_PortRangeHintDescriptor h = hint.HintDescriptor;
  const float scale = LADSPA_IS_HINT_SAMPLE_RATE(h) ? float(rate) : 1.0f;
  float lo = LADSPA_IS_HINT_BOUNDED_BELOW(h) ? hint.LowerBound * scale : -kUnbounded;
  float hi = LADSPA_IS_HINT_BOUNDED_ABOVE(h) ? hint.UpperBound * scale : kUnbounded;
  if (LADSPA_IS_HINT_TOGGLED(h)) lo = 0.0f, hi = 1.0f;
  if (!(lo <= hi)) std::swap(lo, hi);
  const bool logarithmic = LADSPA_IS_HINT_LOGARITHMIC(h) && lo > 0.0f;
  const auto between = [&](float upper) {  // `upper` of the way from lo to hi
    return logarithmic ? std::exp(std::log(lo) * (1.0f - upper) + std::log(hi) * upper) : lo * (1.0f - upper) + hi * upper;
  };
  float value = LADSPA_IS_HINT_BOUNDED_BELOW(h) ? lo : 0.0f;
  switch (h & LADSPA_HINT_DEFAULT_MASK) {
    case LADSPA_HINT_DEFAULT_MINIMUM: value = lo; break;
    case LADSPA_HINT_DEFAULT_LOW: value = between(0.25f); break;
    case LADSPA_HINT_DEFAULT_MIDDLE: value = between(0.5f); break;
    case LADSPA_HINT_DEFAULT_HIGH: value = between(0.75f); break;
    case LADSPA_HINT_DEFAULT_MAXIMUM: value = hi; break;
    case LADSPA_HINT_DEFAULT_0: value = 0.0f; break;
    case LADSPA_HINT_DEFAULT_1: value = 1.0f; break;
    case LADSPA_HINT_DEFAULT_100: value = 100.0f; break;
    case LADSPA_HINT_DEFAULT_440: value = 440.0f; break;
    default: break;
  }
  if (LADSPA_IS_HINT_INTEGER(h)) value = std::round(value);
  value = std::clamp(value, lo, hi);

  // "Delay (Seconds)": the name "Delay", the label "Seconds".
  std::string name = portName != nullptr ? portName : "Control";
  std::string unit;
  const std::size_t open = name.rfind(" (");
  if (open != std::string::npos && name.back() == ')') {
    unit = name.substr(open + 2, name.size() - open - 3);
    name.resize(open);
  }
  std::snprintf(label, 16, "%s", unit.c_str());
  return FloatParameter(name.c_str(), label, portName != nullptr ? portName : "A control of the plug-in.", lo, hi, value);
}

// A loaded plug-in: its library, its instances and their buffers. Built and
// freed on the API's thread; run on the mixer's.
class Plugin {
public:
  static FMOD_RESULT Load(const std::string& path, int index, const EffectContext& context, std::unique_ptr<Plugin>& out);
  ~Plugin();

  int Controls() const noexcept { return int(controlIn_.size()); }
  const FMOD_DSP_PARAMETER_DESC& Desc(int k) const noexcept { return descs_[std::size_t(k)]; }
  float Value(int k) const noexcept { return values_[k].load(std::memory_order_relaxed); }
  void SetValue(int k, float v) noexcept { values_[k].store(v, std::memory_order_relaxed); }
  const char* Name() const noexcept { return descriptor_->Name != nullptr ? descriptor_->Name : "plug-in"; }

  // Mixer thread: runs the plug-in over the block (whose output already
  // holds the input); answers the output's peak.
  float Run(ProcessBlock& block) noexcept;

private:
  Plugin() = default;
  float* Audio(std::size_t instance, std::size_t port) noexcept {
    return audio_.data() + (instance * (audioIn_.size() + audioOut_.size()) + port) * frames_;
  }

  void* library_ = nullptr;
  const LADSPA_Descriptor* descriptor_ = nullptr;
  std::vector<LADSPA_Handle> handles_;
  bool activated_ = false;
  bool perChannel_ = false;
  std::size_t frames_ = 0;
  std::vector<unsigned long> audioIn_, audioOut_, controlIn_;
  std::vector<FMOD_DSP_PARAMETER_DESC> descs_;
  std::unique_ptr<std::atomic<float>[]> values_;
  std::vector<float> ports_;  // every instance's control port values, PortCount each
  std::vector<float> audio_;  // every instance's audio port buffers
};

FMOD_RESULT Plugin::Load(const std::string& path, int index, const EffectContext& context, std::unique_ptr<Plugin>& out) {
  const std::string file = Resolve(path);
  if (file.empty()) return FMOD_ERR_FILE_NOTFOUND;
  std::unique_ptr<Plugin> p(new Plugin());
  p->library_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (p->library_ == nullptr) return FMOD_ERR_PLUGIN;
  const auto entry = reinterpret_cast<LADSPA_Descriptor_Function>(::dlsym(p->library_, "ladspa_descriptor"));
  if (entry == nullptr) return FMOD_ERR_PLUGIN;
  const LADSPA_Descriptor* d = entry((unsigned long)index);
  if (d == nullptr || d->instantiate == nullptr || d->connect_port == nullptr || d->run == nullptr ||
      (d->PortCount > 0 && (d->PortDescriptors == nullptr || d->PortRangeHints == nullptr)))
    return FMOD_ERR_PLUGIN;
  p->descriptor_ = d;

  for (unsigned long port = 0; port < d->PortCount; ++port) {
    const LADSPA_PortDescriptor pd = d->PortDescriptors[port];
    if (LADSPA_IS_PORT_AUDIO(pd)) (LADSPA_IS_PORT_INPUT(pd) ? p->audioIn_ : p->audioOut_).push_back(port);
    else if (LADSPA_IS_PORT_CONTROL(pd) && LADSPA_IS_PORT_INPUT(pd)) p->controlIn_.push_back(port);
  }
  p->values_ = std::make_unique<std::atomic<float>[]>(p->controlIn_.size());
  for (std::size_t k = 0; k < p->controlIn_.size(); ++k) {
    const unsigned long port = p->controlIn_[k];
    char label[16] = {};
    p->descs_.push_back(ControlDesc(d->PortRangeHints[port], d->PortNames != nullptr ? d->PortNames[port] : nullptr,
                                    context.sampleRate, label));
    p->values_[k].store(p->descs_.back().floatdesc.defaultval);
  }

  p->perChannel_ = p->audioOut_.size() == 1 && p->audioIn_.size() <= 1;
  const std::size_t instances = p->perChannel_ ? std::size_t(std::max(context.maxChannels, 1)) : 1;
  p->frames_ = context.blockFrames;
  p->ports_.assign(instances * d->PortCount, 0.0f);
  p->audio_.assign(instances * (p->audioIn_.size() + p->audioOut_.size()) * p->frames_, 0.0f);
  for (std::size_t i = 0; i < instances; ++i) {
    LADSPA_Handle h = d->instantiate(d, (unsigned long)context.sampleRate);
    if (h == nullptr) return FMOD_ERR_PLUGIN;
    p->handles_.push_back(h);
    float* ports = p->ports_.data() + i * d->PortCount;
    for (unsigned long port = 0; port < d->PortCount; ++port) d->connect_port(h, port, ports + port);
    for (std::size_t k = 0; k < p->controlIn_.size(); ++k) ports[p->controlIn_[k]] = p->Value(int(k));
    for (std::size_t a = 0; a < p->audioIn_.size(); ++a) d->connect_port(h, p->audioIn_[a], p->Audio(i, a));
    for (std::size_t a = 0; a < p->audioOut_.size(); ++a)
      d->connect_port(h, p->audioOut_[a], p->Audio(i, p->audioIn_.size() + a));
  }
  if (d->activate != nullptr)
    for (LADSPA_Handle h : p->handles_) d->activate(h);
  p->activated_ = true;
  out = std::move(p);
  return FMOD_OK;
}

Plugin::~Plugin() {
  if (descriptor_ != nullptr) {
    for (LADSPA_Handle h : handles_) {
      if (activated_ && descriptor_->deactivate != nullptr) descriptor_->deactivate(h);
      if (descriptor_->cleanup != nullptr) descriptor_->cleanup(h);
    }
  }
  if (library_ != nullptr) ::dlclose(library_);  // after every instance is cleaned up
}

float Plugin::Run(ProcessBlock& block) noexcept {
  const unsigned long portCount = descriptor_->PortCount;
  for (std::size_t i = 0; i < handles_.size(); ++i)
    for (std::size_t k = 0; k < controlIn_.size(); ++k) ports_[i * portCount + controlIn_[k]] = Value(int(k));
  const unsigned frames = std::min<unsigned>(block.frames, unsigned(frames_));
  const int inWidth = block.inWidth;
  const int outWidth = block.outWidth;
  const std::size_t ins = audioIn_.size();
  float peak = 0.0f;
  const auto gather = [&](float* to, int channel) {
    for (unsigned f = 0; f < frames; ++f)
      to[f] = channel < inWidth ? block.in[std::size_t(f) * inWidth + channel] : 0.0f;
  };
  const auto scatter = [&](const float* from, int channel) {
    for (unsigned f = 0; f < frames; ++f) {
      block.out[std::size_t(f) * outWidth + channel] = from[f];
      peak = std::max(peak, std::fabs(from[f]));
    }
  };
  if (perChannel_) {
    const int n = std::min(outWidth, int(handles_.size()));
    for (int c = 0; c < n; ++c) {
      if (ins == 1) gather(Audio(std::size_t(c), 0), c);
      descriptor_->run(handles_[std::size_t(c)], frames);
      scatter(Audio(std::size_t(c), ins), c);
    }
    return peak;
  }
  for (std::size_t a = 0; a < ins; ++a) gather(Audio(0, a), inWidth > 0 ? int(a % std::size_t(inWidth)) : inWidth);
  descriptor_->run(handles_[0], frames);
  for (std::size_t a = 0; a < audioOut_.size() && int(a) < outWidth; ++a) scatter(Audio(0, ins + a), int(a));
  if (audioOut_.empty()) {
    for (unsigned f = 0; f < frames; ++f)
      for (int c = 0; c < outWidth; ++c) peak = std::max(peak, std::fabs(block.out[std::size_t(f) * outWidth + c]));
  }
  return peak;
}

struct FreePlugin {
  void operator()(Plugin* p) const noexcept { delete p; }
};

class LadspaHost final : public Processor {
public:
  explicit LadspaHost(const EffectContext& context)
      : context_(context), tailFrames_(std::uint64_t(kTailSeconds * context.sampleRate)) {}

  bool Process(ProcessBlock& block) noexcept override {
    plugins_.Begin();
    block.outWidth = std::min(block.inWidth, block.capacity);
    Plugin* plugin = plugins_.Current();
    if (plugin == nullptr) {
      if (block.inputIdle) return false;
      for (unsigned f = 0; f < block.frames; ++f)
        std::copy_n(block.in + std::size_t(f) * block.inWidth, block.outWidth, block.out + std::size_t(f) * block.outWidth);
      return true;
    }
    // A plug-in may have a tail (or generate): it runs on while its input is
    // idle until its output has been silent for the longest tail waited for.
    if (block.inputIdle && quietFrames_ >= tailFrames_) return false;
    for (unsigned f = 0; f < block.frames; ++f)
      std::copy_n(block.in + std::size_t(f) * block.inWidth, block.outWidth, block.out + std::size_t(f) * block.outWidth);
    const float peak = plugin->Run(block);
    quietFrames_ = block.inputIdle && peak < kQuiet ? quietFrames_ + block.frames : 0;
    return true;
  }

  int NumParameters() const noexcept override { return kFirstControl + (latest_ != nullptr ? latest_->Controls() : 0); }
  const FMOD_DSP_PARAMETER_DESC* Parameter(int index) const noexcept override {
    if (index == kLibrary) return &kLibraryDesc;
    if (index == kPlugin) return &kPluginDesc;
    const int k = index - kFirstControl;
    return latest_ != nullptr && k >= 0 && k < latest_->Controls() ? &latest_->Desc(k) : nullptr;
  }

  FMOD_RESULT SetData(int index, void* data, unsigned length) noexcept override {
    plugins_.Collect();
    if (index != kLibrary) return FMOD_ERR_INVALID_PARAM;
    if (data == nullptr || length == 0) return FMOD_ERR_INVALID_PARAM;
    const char* text = static_cast<const char*>(data);
    const std::string path(text, strnlen(text, length));
    if (path.empty()) return FMOD_ERR_INVALID_PARAM;
    return Load(path, pluginIndex_);
  }
  FMOD_RESULT SetInt(int index, int value) noexcept override {
    plugins_.Collect();
    if (index != kPlugin || value < 0 || value > kMaxPluginIndex) return FMOD_ERR_INVALID_PARAM;
    if (latest_ == nullptr) {
      pluginIndex_ = value;
      return FMOD_OK;
    }
    return value == pluginIndex_ ? FMOD_OK : Load(path_, value);
  }
  FMOD_RESULT SetFloat(int index, float value) noexcept override {
    plugins_.Collect();
    const FMOD_DSP_PARAMETER_DESC* d = Parameter(index);
    if (d == nullptr || d->type != FMOD_DSP_PARAMETER_TYPE_FLOAT) return FMOD_ERR_INVALID_PARAM;
    if (!std::isfinite(value)) return FMOD_ERR_INVALID_FLOAT;
    if (value < d->floatdesc.min || value > d->floatdesc.max) return FMOD_ERR_INVALID_PARAM;
    latest_->SetValue(index - kFirstControl, value);
    return FMOD_OK;
  }
  FMOD_RESULT GetFloat(int index, float* value, char* text) noexcept override {
    const FMOD_DSP_PARAMETER_DESC* d = Parameter(index);
    if (d == nullptr || d->type != FMOD_DSP_PARAMETER_TYPE_FLOAT) return FMOD_ERR_INVALID_PARAM;
    const float v = latest_->Value(index - kFirstControl);
    if (value != nullptr) *value = v;
    if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%.2f", double(v));
    return FMOD_OK;
  }
  FMOD_RESULT GetInt(int index, int* value, char* text) noexcept override {
    if (index != kPlugin) return FMOD_ERR_INVALID_PARAM;
    if (value != nullptr) *value = pluginIndex_;
    if (text != nullptr) {
      if (latest_ != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%s", latest_->Name());
      else std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%d", pluginIndex_);
    }
    return FMOD_OK;
  }
  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override {
    plugins_.Collect();
    if (index != kLibrary) return FMOD_ERR_INVALID_PARAM;
    if (data != nullptr) *data = const_cast<char*>(path_.c_str());
    if (length != nullptr) *length = unsigned(path_.size() + 1);
    if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%s", path_.empty() ? "(none)" : path_.c_str());
    return FMOD_OK;
  }
  void Describe(char* name, unsigned& version, int& channels) const noexcept override {
    std::snprintf(name, 32, "%s", "LADSPA Plugin");
    version = 0x00010000;
    channels = 0;
  }

private:
  FMOD_RESULT Load(const std::string& path, int index) noexcept {
    std::unique_ptr<Plugin> plugin;
    FMOD_RESULT result = FMOD_ERR_MEMORY;
    try {
      result = Plugin::Load(path, index, context_, plugin);
      if (result != FMOD_OK) return result;
      path_ = path;
    } catch (...) {
      return FMOD_ERR_MEMORY;
    }
    pluginIndex_ = index;
    latest_ = plugin.release();
    plugins_.Offer(latest_);
    return FMOD_OK;
  }

  const EffectContext context_;
  const std::uint64_t tailFrames_;
  // API side.
  Handoff<Plugin, FreePlugin> plugins_;
  Plugin* latest_ = nullptr;  // the last loaded, whose parameters the API shows
  std::string path_;
  int pluginIndex_ = 0;
  // Mixer side.
  std::uint64_t quietFrames_ = 0;
};

}  // namespace

std::unique_ptr<Processor> NewLadspaHost(const EffectContext& context) { return std::make_unique<LadspaHost>(context); }

}  // namespace sonvel::engine::core
