// The converter file dialogs: Qt's own (non-native) file dialog with a panel
// of extra fields below its standard controls. CFileDlg opens the HEX file
// of a conversion, CFileDlg2 names the SFL file of a flash read. When a
// dialog closes, confirmed or not, it keeps its fields' texts as they
// stood, for the command to take.
#pragma once

#include <QFileDialog>
#include <QLineEdit>
#include <functional>
#include <map>
#include <span>

#include "dialog/DialogTemplate.h"
#include "service/SflConversion.h"
#include "settings/Settings.h"

namespace tarvel {

// A block-number field: typing lets through only Backspace, Tab, '.' and
// hex digits; every other typed character, control characters (Ctrl+V
// among them) included, is dropped without a sound. Text pasted through
// the context menu is not filtered.
class CHexEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit CHexEdit(QWidget* parent = nullptr);

  static bool IsTypable(QChar c);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A file dialog with a panel of fields; the fields by their ids.
class CPanelFileDlg : public QFileDialog {
  Q_OBJECT
 public:
  QWidget* Panel() const { return m_pPanel; }
  QWidget* GetDlgItem(int id) const;
  QString ItemText(int id) const;

 protected:
  CPanelFileDlg(const QString& folder, QWidget* parent);
  // Creates the panel's controls from a template and puts the panel below
  // the dialog's standard controls. Labels in `labelColour`, when valid.
  void AddPanel(std::span<const ControlTemplate> controls, int widthDlu, int heightDlu,
                const QColor& labelColour);

 private:
  void FitColumns();
  QWidget* m_pPanel = nullptr;
  std::map<int, QWidget*> m_fields;
};

// The open dialog of "&SFL Conv...": title "SFL File Converter", HEX files,
// the accept button relabelled "&Convert", and the converter panel with the
// output name, START and END, product name and firmware version. Confirmed
// with an output name that exists, it asks whether to replace that file
// before it closes: No keeps it open with everything typed.
class CFileDlg : public CPanelFileDlg {
  Q_OBJECT
 public:
  // A question asked over the dialog: true for Yes.
  using Question = std::function<bool(QWidget& over, const std::string& text)>;

  // START and END from the settings; the other fields empty.
  CFileDlg(const Settings& settings, const QString& folder, QWidget* parent = nullptr);

  // The selection changed: the output name follows the chosen file
  // ("fw.hex" gives "fw.sfl"); a text typed there is replaced.
  void OnFileNameChange(const QString& path);

  // How the replacement is asked; by default a box with Yes and No, No
  // the default.
  void SetQuestion(Question question) { m_question = std::move(question); }

  void done(int result) override;
  // The panel's fields as they stood when the dialog closed.
  const SflConvTexts& Fields() const { return m_fields; }
  // The existing SFL file that Yes agreed to replace; empty when none was
  // asked about.
  const std::string& ReplaceConfirmed() const { return m_replaceConfirmed; }

 private:
  SflConvTexts m_fields;
  Question m_question;
  std::string m_replaceConfirmed;
};

// The save dialog of "&Dump...": title "Flash Extraction", default name
// "Untitled.sfl" (no extension added to a typed name), overwriting
// confirmed, and the End Block field, "3FF" at every opening.
class CFileDlg2 : public CPanelFileDlg {
  Q_OBJECT
 public:
  explicit CFileDlg2(const QString& folder, QWidget* parent = nullptr);

  void done(int result) override;
  // The End Block field as it stood when the dialog closed.
  const std::string& EndBlock() const { return m_strEndBlock; }

 private:
  std::string m_strEndBlock;
};

}  // namespace tarvel
