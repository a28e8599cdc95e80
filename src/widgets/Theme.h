#pragma once

// The pages' colours, by what they are for, and their typeface, written once. Texts reach WCAG 2.1 AA (4.5:1)
// against the pages' palest ground; the accent on its own is for marks and icons (3:1).
// Style sheets take them as written: .arg(QLatin1String(Theme::primaryText)).
namespace Theme {

constexpr char primaryText[] = "#1C2733";
constexpr char secondaryText[] = "#5F6672";
// The brand's green for text on the light pages.
constexpr char accentText[] = "#0E7941";
// The brand's green under white text.
constexpr char accentFill[] = "#108648";
// The brand's green for marks, icons and selections, which carry no text.
constexpr char accent[] = "#14A85A";

// The family every page asks for; start-up maps it onto the font the program carries. Style
// sheets name it as written.
constexpr char fontFamily[] = "Roboto";

} // namespace Theme
