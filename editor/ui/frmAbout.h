#pragma once
// The About window: the program's name, description and version.
#include <QDialog>

class QLabel;
class QPushButton;

namespace zentarc::editor {

inline const char* const kProgramDescription =
    "Tool for OPC server configuration file creation and editing";

class frmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit frmAbout(QWidget* parent);
  QLabel* lblTitle;
  QLabel* lblDescription;
  QLabel* lblVersion;
  QPushButton* cmdOK;
};

// "Version " and the major, minor and revision numbers joined by ".".
QString versionText(const QString& version);

}  // namespace zentarc::editor
