#pragma once

#include <QString>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

// The pieces the tool dialogs (learn a remote, module map) lay out: they are
// placed by layouts, not by the main window's dialog units.

inline constexpr const char* REMOTE_MAP_FILTER = "Remote Maps (*.map)|*.map|All Files (*.*)|*.*||";

// A button named for tests and screen readers that is never the default:
// Enter clicks only the button that has the focus.
QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption);
// A label named for tests and screen readers that wraps its text.
QLabel* AddLabel(QWidget* parent, const char* name, const char* accessibleName);
// A path a dialog chose, as the file system takes it.
std::string LocalPath(const QString& path);
