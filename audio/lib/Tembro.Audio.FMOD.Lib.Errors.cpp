// The engine's messages, one per result code, exactly as the engine words them
// (the acute accent where an apostrophe would stand is part of the text).
#include "Tembro.Audio.FMOD.Lib.Errors.h"

#include <array>
#include <string_view>

namespace Tembro::Audio::FMOD::Lib {

namespace {

constexpr std::array<std::string_view, 82> kMessages = {
    /*  0 */ "No errors.",
    /*  1 */ "Tried to call a function on a data type that does not allow this type of functionality (ie calling Sound::lock on a streaming sound).",
    /*  2 */ "Error trying to allocate a channel.",
    /*  3 */ "The specified channel has been reused to play another sound.",
    /*  4 */ "DMA Failure.  See debug output for more information.",
    /*  5 */ "DSP connection error.  Connection possibly caused a cyclic dependency or connected dsps with incompatible buffer counts.",
    /*  6 */ "DSP result :=  code from a DSP process query callback.  Tells mixer not to call the process callback and therefore not consume CPU.  Use this to optimize the DSP graph.",
    /*  7 */ "DSP Format error.  A DSP unit may have attempted to connect to this network with the wrong format, or a matrix may have been set with the wrong size if the target unit has a specified channel map.",
    /*  8 */ "DSP is already in the mixer´s DSP network. It must be removed before being reinserted or released.",
    /*  9 */ "DSP connection error.  Couldn´t find the DSP unit specified.",
    /* 10 */ "DSP operation error.  Cannot perform operation on this DSP as it is reserved by the system.",
    /* 11 */ "DSP result :=  code from a DSP process query callback.  Tells mixer silence would be produced from read, so go idle and not consume CPU.  Use this to optimize the DSP graph.",
    /* 12 */ "DSP operation cannot be performed on a DSP of this type.",
    /* 13 */ "Error loading file.",
    /* 14 */ "Couldn´t perform seek operation.  This is a limitation of the medium (ie netstreams) or the file format.",
    /* 15 */ "Media was ejected while reading.",
    /* 16 */ "End of file unexpectedly reached while trying to read essential data (truncated?).",
    /* 17 */ "End of current chunk reached while trying to read data.",
    /* 18 */ "File not found.",
    /* 19 */ "Unsupported file or audio format.",
    /* 20 */ "There is a version mismatch between the FMOD header and either the FMOD Studio library or the FMOD Low Level library.",
    /* 21 */ "A HTTP error occurred. This is a catch-all for HTTP errors not listed elsewhere.",
    /* 22 */ "The specified resource requires authentication or is forbidden.",
    /* 23 */ "Proxy authentication is required to access the specified resource.",
    /* 24 */ "A HTTP server error occurred.",
    /* 25 */ "The HTTP request timed out.",
    /* 26 */ "FMOD was not initialized correctly to support this function.",
    /* 27 */ "Cannot call this command after System::init.",
    /* 28 */ "An error occurred that wasn´t supposed to.  Contact support.",
    /* 29 */ "Value passed in was a NaN, Inf or denormalized float.",
    /* 30 */ "An invalid object handle was used.",
    /* 31 */ "An invalid parameter was passed to this function.",
    /* 32 */ "An invalid seek position was passed to this function.",
    /* 33 */ "An invalid speaker was passed to this function based on the current speaker mode.",
    /* 34 */ "The syncpoint did not come from this sound handle.",
    /* 35 */ "Tried to call a function on a thread that is not supported.",
    /* 36 */ "The vectors passed in are not unit length, or perpendicular.",
    /* 37 */ "Reached maximum audible playback count for this sound´s soundgroup.",
    /* 38 */ "Not enough memory or resources.",
    /* 39 */ "Can´t use FMOD_OPENMEMORY_POINT on non PCM source data, or non mp3/xma/adpcm data if FMOD_CREATECOMPRESSEDSAMPLE was used.",
    /* 40 */ "Tried to call a command on a 2d sound when the command was meant for 3d sound.",
    /* 41 */ "Tried to use a feature that requires hardware support.",
    /* 42 */ "Couldn´t connect to the specified host.",
    /* 43 */ "A socket error occurred.  This is a catch-all for socket-related errors not listed elsewhere.",
    /* 44 */ "The specified URL couldn´t be resolved.",
    /* 45 */ "Operation on a non-blocking socket could not complete immediately.",
    /* 46 */ "Operation could not be performed because specified sound/DSP connection is not ready.",
    /* 47 */ "Error initializing output device, but more specifically, the output device is already in use and cannot be reused.",
    /* 48 */ "Error creating hardware sound buffer.",
    /* 49 */ "A call to a standard soundcard driver failed, which could possibly mean a bug in the driver or resources were missing or exhausted.",
    /* 50 */ "Soundcard does not support the specified format.",
    /* 51 */ "Error initializing output device.",
    /* 52 */ "The output device has no drivers installed.  If pre-init, FMOD_OUTPUT_NOSOUND is selected as the output mode.  If post-init, the function just fails.",
    /* 53 */ "An unspecified error has been result := ed from a plugin.",
    /* 54 */ "A requested output, dsp unit type or codec was not available.",
    /* 55 */ "A resource that the plugin requires cannot be found. (ie the DLS file for MIDI playback)",
    /* 56 */ "A plugin was built with an unsupported SDK version.",
    /* 57 */ "An error occurred trying to initialize the recording device.",
    /* 58 */ "Reverb properties cannot be set on this channel because a parent channelgroup owns the reverb connection.",
    /* 59 */ "Specified instance in FMOD_REVERB_PROPERTIES couldn´t be set. Most likely because it is an invalid instance number or the reverb doesn´t exist.",
    /* 60 */ "The error occurred because the sound referenced contains subsounds when it shouldn´t have, or it doesn´t contain subsounds when it should have.  The operation may also not be able to be performed on a parent sound.",
    /* 61 */ "This subsound is already being used by another sound, you cannot have more than one parent to a sound.  Null out the other parent´s entry first.",
    /* 62 */ "Shared subsounds cannot be replaced or moved from their parent stream, such as when the parent stream is an FSB file.",
    /* 63 */ "The specified tag could not be found or there are no tags.",
    /* 64 */ "The sound created exceeds the allowable input channel count.  This can be increased using the ´maxinputchannels´ parameter in System::setSoftwareFormat.",
    /* 65 */ "The retrieved string is too long to fit in the supplied buffer and has been truncated.",
    /* 66 */ "Something in FMOD hasn´t been implemented when it should be! contact support!",
    /* 67 */ "This command failed because System::init or System::setDriver was not called.",
    /* 68 */ "A command issued was not supported by this object.  Possibly a plugin without certain callbacks specified.",
    /* 69 */ "The version number of this file format is not supported.",
    /* 70 */ "The specified bank has already been loaded.",
    /* 71 */ "The live update connection failed due to the game already being connected.",
    /* 72 */ "The live update connection failed due to the game data being out of sync with the tool.",
    /* 73 */ "The live update connection timed out.",
    /* 74 */ "The requested event, bus or vca could not be found.",
    /* 75 */ "The Studio::System object is not yet initialized.",
    /* 76 */ "The specified resource is not loaded, so it can´t be unloaded.",
    /* 77 */ "An invalid string was passed to this function.",
    /* 78 */ "The specified resource is already locked.",
    /* 79 */ "The specified resource is not locked, so it can´t be unlocked.",
    /* 80 */ "The specified recording driver has been disconnected.",
    /* 81 */ "The length provided exceeds the allowable limit.",
};

}  // namespace

ETembroFMODError::ETembroFMODError(std::int32_t ACode) : std::runtime_error(FMODResultMessage(ACode)), FCode(ACode) {}

std::string FMODResultMessage(std::int32_t AResult) {
  if (AResult < 0 || AResult >= static_cast<std::int32_t>(kMessages.size())) return "Unknown error.";
  return std::string(kMessages[static_cast<std::size_t>(AResult)]);
}

}  // namespace Tembro::Audio::FMOD::Lib
