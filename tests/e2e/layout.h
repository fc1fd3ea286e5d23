// Where a user finds each control of the window: client-area pixels worked out from the layout's
// twips (frame corners on the client area, controls inside their frame).
#pragma once

#include "e2e/desktop.h"

#include <QSize>

namespace Layout {

inline const QSize ClientSize(11265 / 15, 7980 / 15);

inline constexpr int Frame1Left = 3960, Frame1Top = 1560; // mining settings
inline constexpr int Frame2Left = 0, Frame2Top = 1560; // the keyword list and its export
inline constexpr int Frame3Left = 3960, Frame3Top = 5280; // list tools and hot-word sources

inline constexpr Spot Text3 = centreOf(Frame1Left, Frame1Top, 960, 1920, 1455, 375);
inline constexpr Spot Command4 = centreOf(Frame1Left, Frame1Top, 120, 2520, 1095, 375);
inline constexpr Spot Command5 = centreOf(Frame1Left, Frame1Top, 1560, 2520, 1095, 375);
inline constexpr Spot Text7 = centreOf(Frame1Left, Frame1Top, 3735, 2490, 495, 375);

inline constexpr Spot Text1 = centreOf(Frame2Left, Frame2Top, 120, 360, 3615, 5055);
inline constexpr Spot Command3 = centreOf(Frame2Left, Frame2Top, 120, 5520, 975, 375);
inline constexpr Spot Command9 = centreOf(Frame2Left, Frame2Top, 1560, 5520, 975, 375);
inline constexpr Spot Option7 = markOf(Frame2Left, Frame2Top, 1200, 6000, 255);
inline constexpr Spot Option8 = markOf(Frame2Left, Frame2Top, 2160, 6000, 255);
inline constexpr Spot Option9 = markOf(Frame2Left, Frame2Top, 3000, 6000, 255);

inline constexpr Spot Command6 = centreOf(Frame3Left, Frame3Top, 120, 360, 975, 375);
inline constexpr Spot Command2 = centreOf(Frame3Left, Frame3Top, 1200, 360, 975, 375);
inline constexpr Spot Command17 = centreOf(Frame3Left, Frame3Top, 2280, 360, 1095, 375);
inline constexpr Spot Command13 = centreOf(Frame3Left, Frame3Top, 120, 840, 1695, 375);
inline constexpr Spot Text8 = centreOf(Frame3Left, Frame3Top, 1920, 840, 735, 375);
inline constexpr Spot Command15 = centreOf(Frame3Left, Frame3Top, 120, 1320, 1815, 375);
inline constexpr Spot Text9 = centreOf(Frame3Left, Frame3Top, 2040, 1320, 1695, 375);
inline constexpr Spot Command8 = centreOf(Frame3Left, Frame3Top, 120, 1800, 1815, 375);
inline constexpr Spot Text2 = centreOf(Frame3Left, Frame3Top, 2040, 1800, 1695, 375);
inline constexpr Spot Option3 = markOf(Frame3Left, Frame3Top, 4440, 360, 255);
inline constexpr Spot Option4 = markOf(Frame3Left, Frame3Top, 4440, 720, 255);
inline constexpr Spot Option1 = markOf(Frame3Left, Frame3Top, 4440, 1080, 255);
inline constexpr Spot Option2 = markOf(Frame3Left, Frame3Top, 4440, 1440, 255);
inline constexpr Spot Option5 = markOf(Frame3Left, Frame3Top, 4440, 1800, 255);
inline constexpr Spot Option6 = markOf(Frame3Left, Frame3Top, 4440, 2160, 255);
inline constexpr Spot Command10 = centreOf(Frame3Left, Frame3Top, 6000, 360, 1095, 375);

} // namespace Layout
