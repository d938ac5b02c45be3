#pragma once
// The release the about box and the settings dialog's version page name.
namespace shell {

#ifndef PELLUMO_VERSION
#error "PELLUMO_VERSION is set by the build"
#endif
inline constexpr const char* kReleaseVersion = PELLUMO_VERSION; // "1.4.7.645"
inline constexpr const char* kReleaseDate = "Mar 28 2018";

} // namespace shell
