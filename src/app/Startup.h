#pragma once

class QApplication;

// What the toolkit must be told before the application object exists.
void prepareEnvironment();

// What the program sets up before its window exists: its name, style, fonts
// and the toolkit's own texts in Simplified Chinese.
void configureApplication(QApplication &app);
