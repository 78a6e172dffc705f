// Message boxes through QMessageBox.
#include "platform/qt/qt_messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

namespace platform {
namespace {

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Stop: return QMessageBox::Critical;
    case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

// The buttons in the order the classic box shows them; the first is the
// default button.
QMessageBox::StandardButtons ToQtButtons(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::Ok: break;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButton DefaultButton(MsgButtons buttons) {
  return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? QMessageBox::Yes : QMessageBox::Ok;
}

}  // namespace

MsgAnswer ClosedBoxAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel: return MsgAnswer::Cancel;
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::Ok: break;
  }
  return MsgAnswer::Ok;
}

MsgAnswer QtMessageSink::Show(const Message& message) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return StderrMessageSink().Show(message);

  const QString caption = message.caption.empty() ? QGuiApplication::applicationDisplayName()
                                                  : QString::fromStdString(message.caption);
  QMessageBox box(ToQtIcon(message.icon), caption, QString::fromStdString(message.text),
                  ToQtButtons(message.buttons), QApplication::activeWindow());
  box.setDefaultButton(DefaultButton(message.buttons));
  // The texts are plain: a path with '<' must not turn into markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok: return MsgAnswer::Ok;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: break;
  }
  return ClosedBoxAnswer(message.buttons);
}

}  // namespace platform
