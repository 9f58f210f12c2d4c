// Sonvel: a window with a play button that plays three sounds in turn.
// Run it from the folder that holds drumloop-2.ogg, explosion.mp3 and
// jaguar.wav; the engine files lie beside the program.
#include <QApplication>

#include <exception>
#include <memory>

#include "Unit1.h"

#ifndef _WIN32
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int SignalSockets[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char Byte = 1;
  [[maybe_unused]] const auto Ignored = ::write(SignalSockets[1], &Byte, 1);
}

// Ctrl+C in the terminal (SIGINT) and SIGTERM end the program the way closing
// its window does, so that the engine still shuts down in order. The signal
// handler only writes a byte; the event loop does the rest.
void QuitOnTerminationSignals(QApplication& AApplication) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalSockets) != 0) return;
  auto* Notifier = new QSocketNotifier(SignalSockets[0], QSocketNotifier::Read, &AApplication);
  QObject::connect(Notifier, &QSocketNotifier::activated, &AApplication, [] { QApplication::quit(); });
  struct sigaction Action {};
  Action.sa_handler = OnTerminationSignal;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &Action, nullptr);
  ::sigaction(SIGTERM, &Action, nullptr);
}

}  // namespace
#endif

int main(int argc, char* argv[]) {
  QApplication Application(argc, argv);
  Application.setApplicationName("Sonvel");

  std::unique_ptr<TForm1> Form1;
  try {
    Form1 = std::make_unique<TForm1>();
  } catch (const std::exception& E) {
    // The window could not be created (no engine, a missing sound): say why
    // and end with a failure status.
    TForm1::ShowError(nullptr, E.what());
    return 1;
  }
#ifndef _WIN32
  QuitOnTerminationSignals(Application);
#endif
  Form1->show();
  const int Status = Application.exec();
  // The window goes, and with it the manager, which shuts the engine down.
  Form1.reset();
  return Status;
}
