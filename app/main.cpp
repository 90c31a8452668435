// The window: for now a dialog that starts and closes.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "base/Strings.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle(QString::fromUtf8(tarvel::LoadString(tarvel::StringId::AppTitle).data()));
  auto* layout = new QVBoxLayout(&dialog);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  dialog.exec();
  return 0;
}
