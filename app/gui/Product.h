#pragma once

namespace app {

// The product's identity, shown in the main window's caption and the About box,
// and the two addresses that the help menu and the About box open.
inline constexpr const char ProductVersion[] = "Perchly v1.45";
inline constexpr const char ReleaseDate[] = "2000/07/15";
inline constexpr const char HomePage[] = "https://perchly.example.org/";
inline constexpr const char FeedbackMailLink[] = "mailto:feedback@perchly.example.org";

}  // namespace app
