#pragma once

#include "acquire/TraceCanvas.h"
#include "link/SensorCommands.h"

#include <QColor>
#include <array>

// Where every control stands, in twips of its container (the window, or the
// frame it sits in). Nothing moves or scales with the window.
namespace WindowLayout {

struct Box
{
    int left, top, width, height;
};

constexpr int ClientWidth = 10230;
constexpr int ClientHeight = 7155;

constexpr Box Label1 {120, 120, 8055, 1695};
constexpr Box Label14 {8280, 240, 1695, 735};
constexpr Box Combo1 {8280, 1320, 1695, 405};
constexpr Box Picture1 {120, 2040, TraceCanvas::SurfaceWidth, TraceCanvas::SurfaceHeight};
constexpr Box Frame1 {120, 5040, 6255, 735};
constexpr Box Frame2 {120, 5880, 6255, 1095};
constexpr Box Frame3 {6600, 5040, 855, 1935};
constexpr Box Label7 {240, 240, 375, 255};    // in Frame3
constexpr Box Command2 {120, 600, 615, 615};  // in Frame3
constexpr Box Command3 {120, 1200, 615, 615}; // in Frame3
constexpr Box Frame4 {7680, 5160, 2295, 735};
constexpr Box Text1 {120, 240, 2055, 375}; // in Frame4
// Not one of the original controls: the free strip below Frame4 and above
// the buttons.
constexpr Box PulseReadout {7680, 5895, 2295, 465};
constexpr Box Command1 {7560, 6360, 855, 495};
constexpr Box Command5 {8400, 6360, 855, 495};
constexpr Box Command4 {9240, 6360, 855, 495};

struct Option
{
    const char *name;
    const char *caption;
    Box box;
};

// In Frame1, one per sampling rate.
constexpr std::array<Option, SensorCommands::RatesHz.size()> RateOptions {{
    {"Option1", "200Hz", {240, 360, 975, 300}},
    {"Option2", "300Hz", {1200, 360, 975, 300}},
    {"Option3", "400Hz", {2160, 360, 975, 300}},
    {"Option4", "500hz", {3120, 360, 855, 255}},
    {"Option5", "1000Hz", {4080, 360, 855, 255}},
}};

// In Frame2, one per gain step.
constexpr std::array<Option, SensorCommands::GainSteps> GainOptions {{
    {"Option6", "1x", {120, 480, 495, 495}},
    {"Option7", "2x", {720, 480, 495, 495}},
    {"Option8", "3x", {1320, 480, 495, 495}},
    {"Option9", "4x", {1920, 480, 495, 495}},
    {"Option10", "5x", {2520, 480, 495, 495}},
    {"Option11", "6x", {3120, 480, 495, 495}},
    {"Option12", "7x", {3720, 480, 495, 495}},
    {"Option13", "8x", {4320, 480, 495, 555}},
    {"Option14", "9x", {4920, 480, 495, 495}},
    {"Option15", "10x", {5520, 480, 615, 495}},
}};

// Gain options before Text1 in the focus order; the rest come after Combo1.
constexpr int GainOptionsBeforeText1 = 7;

// The command buttons' face size, in pixels; the pulse rate is shown in it too.
constexpr int ButtonFacePixels = 19;
constexpr int PortListPixels = 19;

// The layout's own colours; everything else takes the palette's.
constexpr QColor ControlFace {224, 224, 224}; // Label1's background, the baseline buttons
constexpr QColor InstructionsInk {192, 64, 0};
constexpr QColor PortPromptInk {192, 0, 0};
constexpr QColor PortListInk {0, 0, 0};
constexpr QColor BaselineInk {255, 0, 0};

} // namespace WindowLayout
