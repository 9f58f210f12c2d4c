#include "Tembro.Audio.FMOD.Custom.h"

#include <cstdio>

namespace Tembro::Audio::FMOD {

namespace {

void WriteToStandardError(const char* AMessage) noexcept { std::fprintf(stderr, "Sonvel audio: %s\n", AMessage); }

std::atomic<TTembroFMODErrorSink> GErrorSink{&WriteToStandardError};

}  // namespace

void SetTembroFMODErrorSink(TTembroFMODErrorSink ASink) noexcept {
  GErrorSink.store(ASink != nullptr ? ASink : &WriteToStandardError);
}

void ReportTembroFMODError(const char* AMessage) noexcept { GErrorSink.load()(AMessage); }

}  // namespace Tembro::Audio::FMOD
