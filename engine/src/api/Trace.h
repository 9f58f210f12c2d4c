// Formatting of entry-point arguments for the API trace of the logging build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

#include "Tembro.Audio.FMOD.Lib.Common.h"

namespace sonvel::engine::trace {

inline void Append(std::string& out, const char* text) {
  if (text == nullptr) {
    out += "null";
    return;
  }
  out += '"';
  for (std::size_t i = 0; text[i] != '\0' && i < 256; ++i) out += text[i];
  out += '"';
}

template <typename T>
void Append(std::string& out, T value) {
  char buffer[40];
  if constexpr (std::is_pointer_v<T>) {
    if (value == nullptr) {
      out += "null";
      return;
    }
    std::snprintf(buffer, sizeof buffer, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(value)));
  } else if constexpr (std::is_floating_point_v<T>) {
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
  } else if constexpr (std::is_enum_v<T>) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  } else if constexpr (std::is_signed_v<T>) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  } else {
    std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(value));
  }
  out += buffer;
}

// True when a sound's mode says that its name_or_data argument points at
// data (memory or user sounds), which has no terminating zero to stop at.
template <typename T>
bool OpensData(std::string_view argName, T value) {
  if constexpr (std::is_integral_v<T>) {
    return argName == "mode" && (value & (FMOD_OPENMEMORY | FMOD_OPENMEMORY_POINT | FMOD_OPENUSER)) != 0;
  } else {
    return false;
  }
}

// "name(a=1, b=null) = result", with the parameter names taken from the
// stringised argument list "(a, b)".
template <typename... Args>
std::string FormatCall(const char* name, std::string_view argNames, int result, Args... args) {
  std::string out = name;
  out += '(';
  if (!argNames.empty() && argNames.front() == '(') argNames.remove_prefix(1);
  if (!argNames.empty() && argNames.back() == ')') argNames.remove_suffix(1);
  bool dataNotText = false;
  {
    std::string_view rest = argNames;
    auto look = [&](auto value) {
      const std::size_t comma = rest.find(',');
      std::string_view argName = rest.substr(0, comma);
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      while (!argName.empty() && argName.front() == ' ') argName.remove_prefix(1);
      dataNotText = dataNotText || OpensData(argName, value);
    };
    (look(args), ...);
  }
  bool first = true;
  auto one = [&](auto value) {
    const std::size_t comma = argNames.find(',');
    std::string_view argName = argNames.substr(0, comma);
    argNames = comma == std::string_view::npos ? std::string_view() : argNames.substr(comma + 1);
    while (!argName.empty() && argName.front() == ' ') argName.remove_prefix(1);
    if (!first) out += ", ";
    first = false;
    out.append(argName);
    out += '=';
    if constexpr (std::is_same_v<decltype(value), const char*>) {
      if (dataNotText && argName == "name_or_data") {
        Append(out, static_cast<const void*>(value));
        return;
      }
    }
    Append(out, value);
  };
  (one(args), ...);
  out += ") = ";
  out += std::to_string(result);
  return out;
}

}  // namespace sonvel::engine::trace
