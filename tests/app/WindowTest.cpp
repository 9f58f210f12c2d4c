// The demo window, driven with Qt's test module on the offscreen platform,
// with our real engine and the three demo sounds from the test's folder.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.h"
#include "Unit1.h"

namespace Lib = Tembro::Audio::FMOD::Lib;

// Builds the window into AName; an error leaving its creation fails the test
// with the error's text (the test module would otherwise abort on it).
#define MAKE_FORM(AName)                        \
  std::unique_ptr<TForm1> AName##Holder;        \
  try {                                         \
    AName##Holder = std::make_unique<TForm1>(); \
  } catch (const std::exception& E) {           \
    QFAIL(E.what());                            \
  }                                             \
  TForm1& AName = *AName##Holder

class TForm1Test : public QObject {
  Q_OBJECT

  // The number of channels playing, or -1 (with a warning) when the engine
  // cannot tell.
  static std::int32_t ChannelsPlaying(TForm1& AForm) {
    try {
      return AForm.TembroSonvelManager1->GetSystemObject()->GetChannelsPlaying().Channels;
    } catch (const std::exception& E) {
      qWarning("%s", E.what());
      return -1;
    }
  }

  // Within half a pixel: an odd size cannot be split evenly.
  static bool Near(const QPointF& A, const QPointF& B) {
    return qAbs(A.x() - B.x()) <= 0.5 && qAbs(A.y() - B.y()) <= 0.5;
  }

private slots:
  void initTestCase() {
    // The window opens the sounds by bare name, from the working directory.
    QVERIFY(QDir::setCurrent(QCoreApplication::applicationDirPath()));
  }

  void TheWindowIsLaidOutAsDescribed() {
    MAKE_FORM(Form);
    Form.show();
    QCOMPARE(Form.windowTitle(), QString("Form1"));
    QCOMPARE(Form.size(), QSize(640, 480));
    QCOMPARE(Form.Button1->size(), QSize(80, 64));
    QCOMPARE(Form.Button1->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QVERIFY(!Form.Button1->icon().isNull());
    for (const QSize Size : {QSize(640, 480), QSize(800, 600), QSize(321, 241)}) {
      Form.resize(Size);
      const QPointF Centre = QRectF(Form.rect()).center();
      QVERIFY(Near(QRectF(Form.Button1->geometry()).center(), Centre));
      QVERIFY(Near(QRectF(Form.Label1->geometry()).center(), Centre - QPointF(0, 64)));
      QCOMPARE(Form.Button1->size(), QSize(80, 64));
    }
  }

  void StartUpShowsTheFirstNameAndPlaysIt() {
    MAKE_FORM(Form);
    QCOMPARE(Form.Label1->text(), QString("drumloop-2.ogg"));
    QCOMPARE(Form.Current(), 0);
    for (int Index : {0, 1, 2}) QVERIFY(Form.TembroSonvelManager1->GetSound(Index));
    QCOMPARE(ChannelsPlaying(Form), 1);
  }

  void ClicksCycleAndPlayOnTopOfWhatSounds() {
    MAKE_FORM(Form);
    Form.show();
    const char* Expected[] = {"explosion.mp3", "jaguar.wav", "drumloop-2.ogg"};
    for (int Click = 0; Click < 3; ++Click) {
      QTest::mouseClick(Form.Button1, Qt::LeftButton);
      QCOMPARE(Form.Label1->text(), QString(Expected[Click]));
      QCOMPARE(Form.Current(), (Click + 1) % 3);
      // Nothing stops: every sound started so far still plays (the shortest
      // lasts 2.5 s).
      QCOMPARE(ChannelsPlaying(Form), Click + 2);
    }
  }

  void UpdateLabelNamesTheFileOrUnknown() {
    MAKE_FORM(Form);
    const std::pair<std::int32_t, const char*> Cases[] = {
        {0, "drumloop-2.ogg"}, {1, "explosion.mp3"}, {2, "jaguar.wav"}, {3, "unknown"}, {-1, "unknown"}};
    for (const auto& [Index, Text] : Cases) {
      Form.FCurrent = Index;
      Form.UpdateLabel();
      QCOMPARE(Form.Label1->text(), QString(Text));
    }
  }

  void AMissingFileStopsStartUpWithTheEnginesMessage() {
    QTemporaryDir Empty;
    const QString Previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(Empty.path()));
    QString Message;
    try {
      TForm1 Form;
    } catch (const std::exception& E) {
      Message = E.what();
    }
    QDir::setCurrent(Previous);
    QCOMPARE(Message, QString("File not found."));
  }

  void AnErrorInAClickIsReportedAndTheWindowGoesOn() {
    MAKE_FORM(Form);
    std::vector<std::string> Errors;
    Form.OnError = [&](const std::string& AMessage) { Errors.push_back(AMessage); };
    // The engine sound behind the explosion goes away behind its wrapper's
    // back, so playing it fails in the engine.
    const auto Explosion = Form.TembroSonvelManager1->GetSound(1);
    QCOMPARE(Lib::FMOD_Sound_Release(static_cast<FMOD_SOUND*>(Explosion->GetInternalHandle())), FMOD_OK);

    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    QCOMPARE(Errors, std::vector<std::string>{"An invalid object handle was used."});
    QCOMPARE(Form.Label1->text(), QString("explosion.mp3"));  // the label was set before the play failed
    QCOMPARE(Form.Current(), 1);

    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    QCOMPARE(Errors.size(), std::size_t(1));
    QCOMPARE(Form.Label1->text(), QString("jaguar.wav"));

    // A sound missing from the list plays nothing, without an error, while
    // the label still names it.
    Form.TembroSonvelManager1->ClearSounds();
    const std::int32_t Before = ChannelsPlaying(Form);
    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    QCOMPARE(Form.Label1->text(), QString("drumloop-2.ogg"));
    QCOMPARE(ChannelsPlaying(Form), Before);
    QCOMPARE(Errors.size(), std::size_t(1));
  }
};

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication Application(argc, argv);
  TForm1Test Test;
  return QTest::qExec(&Test, argc, argv);
}

#include "WindowTest.moc"
