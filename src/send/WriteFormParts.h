#pragma once

#include <QColor>

class QRadioButton;
class QWidget;

// What the source files of the compose window share.
namespace WriteFormParts {

constexpr int ToLimit = 60; // characters of the To field

// Where the address panel starts and how large it is, in twips of the client area.
constexpr double PanelLeft = 7080, PanelTop = 1200, PanelWidth = 2350, PanelHeight = 6495;

inline const QColor White{255, 255, 255};

// The colour behind a box's text.
void setBase(QWidget *widget, const QColor &colour);
// The colour a panel or label fills itself with.
void setBackground(QWidget *widget, const QColor &colour);
// An option button of a group cannot be unchecked by the user; the program still needs to.
void deselect(QRadioButton *option);

} // namespace WriteFormParts
