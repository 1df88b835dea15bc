// The pictures the demo takes of itself (zem_demo --screenshot FILE --show WHAT), for the user guide.
// WHAT names a form of the demo or a dialog, menu or drop-down that one of its controls opens; the demo
// opens it as a user would (a double click's handler, a right click, a key, a button), grabs the window
// that appears, closes it again and writes the PNG. A picture of one colour is refused, so a shot that
// caught nothing fails instead of leaving an empty picture behind.
#pragma once

#include <QString>
#include <QStringList>

class QMainWindow;

// The names --show takes, each with what its picture shows (for --show list and the guide).
struct Demo_Shot {
  const char* name;
  const char* what;
};
const Demo_Shot* Demo_Shots(int* count);

// Fixes the day every calendar and "today" reads, so that pictures taken on different days agree.
void Demo_Shots_Fix_Clock();

// Takes the picture named what of the shown window into file (PNG). Empty on success, else why not.
QString Demo_Take_Shot(QMainWindow* window, const QString& what, const QString& file);
