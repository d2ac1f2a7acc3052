#pragma once

// What the installer relies on from Rhino and Grasshopper: folder names,
// identifiers, Info keys and tool locations. Nothing else in the engine spells
// these out.

#include <cstdint>
#include <string_view>

namespace nimbra::rhino {

// The plug-in's identifier, searched for as UTF-16LE inside .gha files.
inline constexpr std::string_view kPluginID = "3f6c2d91-58ab-4e07-9b1d-a4c07e5f2b68";

inline constexpr std::int64_t kMajors[] = {7, 8};

// Relative to the home folder.
inline constexpr std::string_view kSupportFolder = "Library/Application Support/Nimbra";
inline constexpr std::string_view kPackagesFolder =
    "Library/Application Support/McNeel/Rhinoceros/packages";
inline constexpr std::string_view kRhinocerosFolder = "Library/Application Support/McNeel/Rhinoceros";
inline constexpr std::string_view kSharedLibraries = "MacPlugIns/Grasshopper/Libraries";
inline constexpr std::string_view kVersionLibraries = "Plug-ins/Grasshopper/Libraries";  // below <major>.0
inline constexpr std::string_view kGrasshopperSettings = "MacPlugIns/Grasshopper";
inline constexpr std::string_view kUserApplications = "Applications";
inline constexpr std::string_view kSystemApplications = "/Applications";

// Inside a package root.
inline constexpr std::string_view kDestinationName = "nimbra";
inline constexpr std::string_view kStagingPrefix = ".nimbra-install-";
inline constexpr std::string_view kManifestName = "manifest.txt";

// Application bundles.
inline constexpr std::string_view kBundleIdentifierPrefix = "com.mcneel.rhinoceros";
inline constexpr std::string_view kPackageTypeKey = "CFBundlePackageType";
inline constexpr std::string_view kPackageType = "APPL";
inline constexpr std::string_view kVersionKey = "CFBundleShortVersionString";
inline constexpr std::string_view kYakLocation = "Contents/Resources/bin/yak";
inline constexpr std::string_view kYakArgument = "list";
inline constexpr double kYakTimeout = 8.0;

// Spotlight.
inline constexpr std::string_view kSpotlightTool = "/usr/bin/mdfind";
inline constexpr std::string_view kSpotlightQuery = "kMDItemCFBundleIdentifier == 'com.mcneel.rhinoceros*'";
inline constexpr double kSpotlightTimeout = 5.0;

// The extensions the installer looks for.
inline constexpr std::string_view kApplicationExtension = "app";
inline constexpr std::string_view kLibraryExtension = "gha";
inline constexpr std::string_view kSettingsExtension = "xml";

}  // namespace nimbra::rhino
