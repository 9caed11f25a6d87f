// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

class QUrl;

// Opens a web address in the user's default browser.
namespace UrlOpener {

// False for an empty or unusable address, or when no program took it.
bool openUrl(const QString& address);
// An address already made, such as a local file's: nothing in it is guessed at.
bool openUrl(const QUrl& url);
// Whether a web browser is there to show a page. Handing a page over succeeds as soon as the
// desktop's opener starts, even when it then finds nothing to show it with.
bool canShowPages();

} // namespace UrlOpener
