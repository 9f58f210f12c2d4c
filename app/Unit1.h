// The demo window "Form1": a play button and, above it, the name of the
// current sound. Creating the window loads the three demo sounds from the
// working directory and plays the first; each click on the button plays the
// next one, on top of whatever still sounds.
//
//   TForm1 Form1;        // raises when the engine or a sound cannot be loaded
//   Form1.show();
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QToolButton;
class TForm1Test;

namespace Tembro::Audio::FMOD {
class TTembroSonvelManager;
}

class TForm1 : public QWidget {
  Q_OBJECT

public:
  // The sounds, by bare name (so from the working directory), in the order
  // of the manager's list.
  static constexpr std::array<const char*, 3> SoundFiles{"drumloop-2.ogg", "explosion.mp3", "jaguar.wav"};

  // Builds the window with its manager (which loads the engine), then runs
  // FormCreate. Any error leaves the constructor; the manager is shut down
  // on the way out.
  explicit TForm1(QWidget* AParent = nullptr);
  ~TForm1() override;

  // Loads the three sounds, shows the first name and plays sound 0.
  void FormCreate();
  // Advances to the next sound (0, 1, 2, 0, ...), shows its name and plays
  // it. Errors leave here; a click on Button1 shows them through OnError.
  void Button1Click();

  // The index of the current sound.
  std::int32_t Current() const noexcept { return FCurrent; }

  // Where an error that leaves a click goes. The default writes it to stderr
  // and shows it in a message box; the window goes on running either way.
  std::function<void(const std::string&)> OnError;

  // Writes AMessage to stderr and shows it in a modal message box.
  static void ShowError(QWidget* AParent, const std::string& AMessage);

  // Components of the window, which owns them. The manager goes first when
  // the window goes, so the engine shuts down while the window still exists.
  std::unique_ptr<Tembro::Audio::FMOD::TTembroSonvelManager> TembroSonvelManager1;
  QToolButton* Button1 = nullptr;
  QLabel* Label1 = nullptr;

protected:
  // Keeps Button1 centred and Label1's centre 64 pixels above the centre.
  void resizeEvent(QResizeEvent* AEvent) override;

private:
  // Sets Label1 from FCurrent: the file name, or "unknown" for an index that
  // names no file.
  void UpdateLabel();
  void PlaceControls();

  std::int32_t FCurrent = 0;

  friend class TForm1Test;
};
