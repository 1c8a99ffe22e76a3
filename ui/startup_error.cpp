#include "ui/startup_error.h"

#include <windows.h>

#include "net/socket_error.h"
#include "pipeline/single_byte_text.h"
#include "ui/app_ids.h"

namespace {

int Show(std::int32_t number, const std::string& description) {
  const std::string text = "Run-time error '" + std::to_string(number) + "':\r\n\r\n" + description;
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(ToUtf16(text).c_str()), app::kCaption, MB_OK | MB_ICONERROR);
  return number != 0 ? number : 1;
}

}  // namespace

int ShowStartupError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const SocketError& e) {
    return Show(e.Number, e.Description);
  } catch (const StartupError& e) {
    return Show(e.Number, e.what());
  } catch (const std::exception& e) {
    return Show(1, e.what());
  } catch (...) {
    return Show(1, "Unexpected error.");
  }
}
