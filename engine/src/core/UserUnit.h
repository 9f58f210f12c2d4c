// A unit made from a caller's FMOD_DSP_DESCRIPTION: its callbacks run with a
// real FMOD_DSP_STATE whose function table answers from the engine.
//
// Threads, as the published interface has them:
// - create, release, and the set/get parameter callbacks: the caller's
//   thread, inside the FMOD_DSP_* or FMOD_System_CreateDSP call;
// - read, process (query and perform), shouldiprocess, reset and
//   setposition: the mixer's thread, while it renders.
// The description and the parameter descriptions it points to must outlive
// the unit; the engine keeps their addresses, as the interface says.
#pragma once

#include <cstdint>

#include "Processor.h"

namespace sonvel::engine::core {

// What a caller's DSP may ask of the engine through its state.
class Host {
public:
  virtual ~Host() = default;
  virtual int SampleRate() const noexcept = 0;
  virtual unsigned BlockFrames() const noexcept = 0;
  virtual FMOD_SPEAKERMODE SpeakerMode() const noexcept = 0;
  // The clock of the block being rendered (or of the next one).
  virtual void Clock(std::uint64_t& clock, unsigned& offset, unsigned& length) const noexcept = 0;
  // Fills up to FMOD_MAX_LISTENERS attributes; answers the listener count.
  virtual int Listeners(FMOD_3D_ATTRIBUTES* attributes) const noexcept = 0;
  virtual int SystemIndex() const noexcept = 0;
};

// FMOD_ERR_PLUGIN_VERSION, FMOD_ERR_INVALID_PARAM or FMOD_OK for a
// description handed to FMOD_System_CreateDSP.
FMOD_RESULT CheckDescription(const FMOD_DSP_DESCRIPTION* description) noexcept;

class UserProcessor final : public Processor {
public:
  UserProcessor(const FMOD_DSP_DESCRIPTION& description, Host& host);

  bool Process(ProcessBlock& block) noexcept override;
  void Reset() noexcept override;
  void SetPosition(unsigned position) noexcept override;
  bool Generates() const noexcept override { return description_.numinputbuffers == 0; }

  FMOD_RESULT Created(Unit& unit) noexcept override;
  void Releasing() noexcept override;
  int NumParameters() const noexcept override { return description_.numparameters; }
  const FMOD_DSP_PARAMETER_DESC* Parameter(int index) const noexcept override;
  FMOD_RESULT SetFloat(int index, float value) noexcept override;
  FMOD_RESULT SetInt(int index, int value) noexcept override;
  FMOD_RESULT SetBool(int index, bool value) noexcept override;
  FMOD_RESULT SetData(int index, void* data, unsigned length) noexcept override;
  FMOD_RESULT GetFloat(int index, float* value, char* text) noexcept override;
  FMOD_RESULT GetInt(int index, int* value, char* text) noexcept override;
  FMOD_RESULT GetBool(int index, bool* value, char* text) noexcept override;
  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override;
  void Describe(char* name, unsigned& version, int& channels) const noexcept override;

  // For the state's functions.
  Host& host;
  Unit* unit = nullptr;

private:
  bool Is(int index, FMOD_DSP_PARAMETER_TYPE type) const noexcept;

  FMOD_DSP_DESCRIPTION description_;
  FMOD_DSP_STATE state_{};
  bool created_ = false;
};

}  // namespace sonvel::engine::core
