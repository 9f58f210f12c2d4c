// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace sonvel::test {

class TempFolder {
public:
  TempFolder() {
    std::random_device Random;
    FPath = std::filesystem::temp_directory_path() / ("sonvel-test-" + std::to_string(Random()));
    std::filesystem::create_directories(FPath);
  }
  ~TempFolder() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return FPath; }

private:
  std::filesystem::path FPath;
};

}  // namespace sonvel::test
