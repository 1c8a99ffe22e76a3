// The application manifest of each program a user starts, read from the
// built executable as Windows reads it: the RT_MANIFEST resource 1, and an
// activation context made from it.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <regex>
#include <string>

namespace {

std::filesystem::path BuildFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path().parent_path();
}

// The text of the program's manifest resource, or "" when it has none.
std::string ManifestOf(const std::filesystem::path& program) {
  HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return "";
  std::string text;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); found != nullptr)
    if (HGLOBAL loaded = LoadResource(module, found); loaded != nullptr)
      text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
  FreeLibrary(module);
  return text;
}

// Whether Windows accepts the manifest: it makes an activation context of it.
bool MakesAnActivationContext(const std::filesystem::path& program) {
  ACTCTXW context{};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = program.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE made = CreateActCtxW(&context);
  if (made == INVALID_HANDLE_VALUE) return false;
  ReleaseActCtx(made);
  return true;
}

}  // namespace

TEST(ApplicationManifest, EveryProgramAUserStartsRunsAsInvokerOnWindows7To11WithCommonControls6AndPerMonitorDpi) {
  // What each manifest must say, as patterns over its text.
  const struct {
    const char* What;
    const char* Pattern;
  } kClaims[] = {
      {"runs with the user's rights", R"(<requestedExecutionLevel\s+level="asInvoker")"},
      {"Windows 7", R"(<supportedOS\s+Id="\{35138b9a-5d96-4fbd-8e2d-a2440225f93a\}")"},
      {"Windows 8", R"(<supportedOS\s+Id="\{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38\}")"},
      {"Windows 8.1", R"(<supportedOS\s+Id="\{1f676c76-80e1-4239-95bb-83d0f6d0da78\}")"},
      {"Windows 10 and 11", R"(<supportedOS\s+Id="\{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a\}")"},
      {"Common Controls 6",
       R"(<assemblyIdentity\s+type="win32"\s+name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0")"},
      {"per-monitor DPI, second version first", R"(<dpiAwareness\s[^>]*>\s*PerMonitorV2\b)"},
      {"per-monitor DPI on older systems", R"(<dpiAware\s[^>]*>\s*true/pm\s*</dpiAware>)"},
  };
  for (const wchar_t* program : {L"app/TolvanDDE.exe", L"tools/decoder_sim.exe", L"tools/record_viewer.exe"}) {
    const auto path = BuildFolder() / program;
    SCOPED_TRACE(path.string());
    const std::string manifest = ManifestOf(path);
    ASSERT_FALSE(manifest.empty());
    EXPECT_TRUE(MakesAnActivationContext(path));
    for (const auto& claim : kClaims) EXPECT_TRUE(std::regex_search(manifest, std::regex(claim.Pattern))) << claim.What;
  }
}
