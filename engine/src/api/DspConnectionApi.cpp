// The FMOD_DSPConnection_* entry points: a connection's ends, its mix level
// and matrix (both ramped by the mixer when they change), its type and user
// data.
#include <algorithm>
#include <cmath>

#include "Registry.h"
#include "System.h"

namespace sonvel::engine {
namespace {

using core::Connection;

// A connection found by its handle, with its graph's mutex held.
struct ConnectionAccess {
  std::shared_ptr<Connection> connection;
  std::shared_ptr<core::Engine> engine;
  std::unique_lock<std::mutex> lock;
  Connection* operator->() const noexcept { return connection.get(); }
};

template <typename F>
FMOD_RESULT With(FMOD_DSPCONNECTION* handle, F&& f) {
  ConnectionAccess c;
  c.connection = DspConnections().Find(handle);
  if (!c.connection) return FMOD_ERR_INVALID_HANDLE;
  c.engine = c.connection->engine.lock();
  if (!c.engine) return FMOD_ERR_INVALID_HANDLE;
  c.lock = std::unique_lock(c.engine->graph.mutex);
  if (!c.engine->graph.Running() || c.connection->api.gone) return FMOD_ERR_INVALID_HANDLE;
  return f(c);
}

FMOD_RESULT GetInput(FMOD_DSPCONNECTION* handle, FMOD_DSP** input) {
  return With(handle, [&](ConnectionAccess& c) {
    if (input == nullptr) return FMOD_ERR_INVALID_PARAM;
    *input = c->api.input->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetOutput(FMOD_DSPCONNECTION* handle, FMOD_DSP** output) {
  return With(handle, [&](ConnectionAccess& c) {
    if (output == nullptr) return FMOD_ERR_INVALID_PARAM;
    *output = c->api.output->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT SetMix(FMOD_DSPCONNECTION* handle, float volume) {
  return With(handle, [&](ConnectionAccess& c) {
    if (!std::isfinite(volume)) return FMOD_ERR_INVALID_FLOAT;
    c->api.settings.mix = volume;
    c.engine->graph.Publish(*c.connection);
    return FMOD_OK;
  });
}

FMOD_RESULT GetMix(FMOD_DSPCONNECTION* handle, float* volume) {
  return With(handle, [&](ConnectionAccess& c) {
    if (volume == nullptr) return FMOD_ERR_INVALID_PARAM;
    *volume = c->api.settings.mix;
    return FMOD_OK;
  });
}

FMOD_RESULT SetMixMatrix(FMOD_DSPCONNECTION* handle, float* matrix, int outChannels, int inChannels, int hop) {
  return With(handle, [&](ConnectionAccess& c) {
    core::ConnectionSettings& s = c->api.settings;
    if (matrix == nullptr) {
      // Back to the default mix for whatever widths the ends have.
      s.matrix.clear();
      s.matrixOut = s.matrixIn = 0;
      c.engine->graph.Publish(*c.connection);
      return FMOD_OK;
    }
    if (hop == 0) hop = inChannels;
    if (outChannels < 1 || inChannels < 1 || outChannels > FMOD_MAX_CHANNEL_WIDTH ||
        inChannels > FMOD_MAX_CHANNEL_WIDTH || hop < inChannels)
      return FMOD_ERR_INVALID_PARAM;
    std::vector<float> next(std::size_t(outChannels) * std::size_t(inChannels));
    for (int o = 0; o < outChannels; ++o)
      for (int i = 0; i < inChannels; ++i) {
        const float v = matrix[std::size_t(o) * std::size_t(hop) + std::size_t(i)];
        if (!std::isfinite(v)) return FMOD_ERR_INVALID_FLOAT;
        next[std::size_t(o) * std::size_t(inChannels) + std::size_t(i)] = v;
      }
    s.matrix = std::move(next);
    s.matrixOut = outChannels;
    s.matrixIn = inChannels;
    c.engine->graph.Publish(*c.connection);
    return FMOD_OK;
  });
}

FMOD_RESULT GetMixMatrix(FMOD_DSPCONNECTION* handle, float* matrix, int* outChannels, int* inChannels, int hop) {
  return With(handle, [&](ConnectionAccess& c) {
    const core::ConnectionSettings& s = c->api.settings;
    // Without a matrix of its own, the default one for the widths it last
    // mixed (or, before it mixed, for the software format).
    int out = s.matrixOut, in = s.matrixIn;
    std::vector<float> values = s.matrix;
    if (values.empty()) {
      const int width = c.engine->format.channels;
      out = c->outWidth.load(std::memory_order_relaxed);
      in = c->inWidth.load(std::memory_order_relaxed);
      if (out <= 0) out = width;
      if (in <= 0) in = width;
      values.assign(std::size_t(out) * std::size_t(in), 0.0f);
      core::DefaultMatrix(values.data(), out, in);
    }
    if (outChannels != nullptr) *outChannels = out;
    if (inChannels != nullptr) *inChannels = in;
    if (matrix == nullptr) return FMOD_OK;
    if (hop == 0) hop = in;
    if (hop < in) return FMOD_ERR_INVALID_PARAM;
    for (int o = 0; o < out; ++o)
      for (int i = 0; i < in; ++i)
        matrix[std::size_t(o) * std::size_t(hop) + std::size_t(i)] = values[std::size_t(o) * std::size_t(in) + std::size_t(i)];
    return FMOD_OK;
  });
}

FMOD_RESULT GetType(FMOD_DSPCONNECTION* handle, FMOD_DSPCONNECTION_TYPE* type) {
  return With(handle, [&](ConnectionAccess& c) {
    if (type == nullptr) return FMOD_ERR_INVALID_PARAM;
    *type = c->type;
    return FMOD_OK;
  });
}

FMOD_RESULT SetUserData(FMOD_DSPCONNECTION* handle, void* userData) {
  return With(handle, [&](ConnectionAccess& c) {
    c->api.userData = userData;
    return FMOD_OK;
  });
}

FMOD_RESULT GetUserData(FMOD_DSPCONNECTION* handle, void** userData) {
  return With(handle, [&](ConnectionAccess& c) {
    if (userData == nullptr) return FMOD_ERR_INVALID_PARAM;
    *userData = c->api.userData;
    return FMOD_OK;
  });
}

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_DSPConnection_GetInput = &GetInput;
  t.FMOD_DSPConnection_GetOutput = &GetOutput;
  t.FMOD_DSPConnection_SetMix = &SetMix;
  t.FMOD_DSPConnection_GetMix = &GetMix;
  t.FMOD_DSPConnection_SetMixMatrix = &SetMixMatrix;
  t.FMOD_DSPConnection_GetMixMatrix = &GetMixMatrix;
  t.FMOD_DSPConnection_GetType = &GetType;
  t.FMOD_DSPConnection_SetUserData = &SetUserData;
  t.FMOD_DSPConnection_GetUserData = &GetUserData;
}};

}  // namespace
}  // namespace sonvel::engine
