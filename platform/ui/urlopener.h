#pragma once

#include <QString>

// Opens a web address in the user's default browser.
namespace UrlOpener {

// False for an empty or unusable address, or when no program took it.
bool openUrl(const QString& address);

} // namespace UrlOpener
