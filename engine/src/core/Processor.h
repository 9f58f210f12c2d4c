// What a DSP unit does to the signal: the interface every kind of unit
// implements (the graph's own units, the built-in effects, a caller's
// FMOD_DSP_DESCRIPTION). The mixer calls Process, Reset and SetPosition on
// its thread; the API calls the parameter and description members on the
// caller's thread.
#pragma once

#include <cstdint>

#include "Format.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"

namespace sonvel::engine::core {

class Unit;

// One block of a unit's work.
struct ProcessBlock {
  const float* in = nullptr;  // the mixed input, inWidth per frame (zeros when silent)
  int inWidth = 0;
  bool inputIdle = true;      // nothing audible reached the unit this block
  const float* side = nullptr;  // the sidechain input, or null
  int sideWidth = 0;
  float* out = nullptr;  // room for `capacity` channels per frame
  int capacity = 0;
  int outWidth = 0;      // set by Process: the channels written
  Layout outLayout = Layout::Speakers;
  unsigned frames = 0;
  std::uint64_t clock = 0;  // DSP clock of the block's first frame
};

class Processor {
public:
  virtual ~Processor() = default;

  // ---- Mixer thread.
  // Writes `frames` frames of output; answers false for silence (`out` is
  // then not read). Never blocks, allocates or throws.
  virtual bool Process(ProcessBlock& block) noexcept = 0;
  virtual void Reset() noexcept {}
  virtual void SetPosition(unsigned /*position*/) noexcept {}
  // True for a unit that sounds with no input (an oscillator).
  virtual bool Generates() const noexcept { return false; }

  // ---- The API's thread.
  // Called once the unit exists and has its handle (a caller's create
  // callback runs here).
  virtual FMOD_RESULT Created(Unit& /*unit*/) noexcept { return FMOD_OK; }
  // Called when the unit is released, after the mixer has let go of it.
  virtual void Releasing() noexcept {}
  virtual int NumParameters() const noexcept { return 0; }
  virtual const FMOD_DSP_PARAMETER_DESC* Parameter(int /*index*/) const noexcept { return nullptr; }
  virtual FMOD_RESULT SetFloat(int index, float value) noexcept;
  virtual FMOD_RESULT SetInt(int index, int value) noexcept;
  virtual FMOD_RESULT SetBool(int index, bool value) noexcept;
  virtual FMOD_RESULT SetData(int index, void* data, unsigned length) noexcept;
  // `text` has room for FMOD_DSP_GETPARAM_VALUESTR_LENGTH bytes, zeroed.
  virtual FMOD_RESULT GetFloat(int index, float* value, char* text) noexcept;
  virtual FMOD_RESULT GetInt(int index, int* value, char* text) noexcept;
  virtual FMOD_RESULT GetBool(int index, bool* value, char* text) noexcept;
  virtual FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept;
  // Name (up to 31 characters), version, and the channels it was made for
  // (0: any).
  virtual void Describe(char* name, unsigned& version, int& channels) const noexcept = 0;
  // The format it outputs for an input format.
  virtual void OutputFormat(FMOD_CHANNELMASK inMask, int inChannels, FMOD_SPEAKERMODE inMode,
                            FMOD_CHANNELMASK& outMask, int& outChannels, FMOD_SPEAKERMODE& outMode) const noexcept {
    outMask = inMask;
    outChannels = inChannels;
    outMode = inMode;
  }
};

}  // namespace sonvel::engine::core
