#pragma once

class QApplication;

// What the program sets up before its window exists: style, fonts and the
// toolkit's own texts in Simplified Chinese.
void configureApplication(QApplication &app);
