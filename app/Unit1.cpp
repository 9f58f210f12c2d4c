#include "Unit1.h"

#include <QLabel>
#include <QMessageBox>
#include <QStyle>
#include <QToolButton>

#include <exception>
#include <iostream>

#include "Tembro.Audio.FMOD.h"

using Tembro::Audio::FMOD::TTembroSonvelManager;

namespace {

constexpr int ClientWidth = 640;
constexpr int ClientHeight = 480;
constexpr QSize ButtonSize(80, 64);
constexpr QSize LabelSize(240, 24);
// Label1 sits with its centre this far above the window's centre.
constexpr int LabelRaise = 64;

}  // namespace

TForm1::TForm1(QWidget* AParent)
    : QWidget(AParent), TembroSonvelManager1(std::make_unique<TTembroSonvelManager>()) {
  setObjectName("Form1");
  setWindowTitle("Form1");
  move(0, 0);
  resize(ClientWidth, ClientHeight);

  Button1 = new QToolButton(this);
  Button1->setObjectName("Button1");
  Button1->setText("Button1");
  Button1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  Button1->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  Button1->setIconSize(QSize(32, 32));
  Button1->setFixedSize(ButtonSize);
  connect(Button1, &QToolButton::clicked, this, [this] {
    try {
      Button1Click();
    } catch (const std::exception& E) {
      if (OnError) OnError(E.what());
    }
  });

  Label1 = new QLabel("Label1", this);
  Label1->setObjectName("Label1");
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setFixedSize(LabelSize);

  OnError = [this](const std::string& AMessage) { ShowError(this, AMessage); };
  PlaceControls();

  // The window exists with all its parts: its creation handler runs now.
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
  FCurrent = 0;
  for (const char* Name : SoundFiles) TembroSonvelManager1->LoadSoundFromFile(Name);
  UpdateLabel();
  TembroSonvelManager1->PlaySound(FCurrent, nullptr, false);
}

void TForm1::Button1Click() {
  ++FCurrent;
  if (FCurrent >= static_cast<std::int32_t>(SoundFiles.size())) FCurrent = 0;
  UpdateLabel();
  TembroSonvelManager1->PlaySound(FCurrent, nullptr, false);
}

void TForm1::UpdateLabel() {
  const bool Known = FCurrent >= 0 && FCurrent < static_cast<std::int32_t>(SoundFiles.size());
  Label1->setText(Known ? QString::fromUtf8(SoundFiles[static_cast<std::size_t>(FCurrent)]) : QString("unknown"));
}

void TForm1::ShowError(QWidget* AParent, const std::string& AMessage) {
  std::cerr << "Sonvel: " << AMessage << std::endl;
  QMessageBox::critical(AParent, "Sonvel", QString::fromStdString(AMessage));
}

void TForm1::resizeEvent(QResizeEvent* AEvent) {
  QWidget::resizeEvent(AEvent);
  PlaceControls();
}

void TForm1::PlaceControls() {
  const QPoint Centre(width() / 2, height() / 2);
  Button1->move(Centre.x() - ButtonSize.width() / 2, Centre.y() - ButtonSize.height() / 2);
  Label1->move(Centre.x() - LabelSize.width() / 2, Centre.y() - LabelRaise - LabelSize.height() / 2);
}
