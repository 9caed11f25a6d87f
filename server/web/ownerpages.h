// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/web/ownerview.h"

#include <QByteArray>
#include <QString>

// The owner's pages drawn from a snapshot: the page itself (markup from the built-in
// resources, the chart an inline SVG so it shows without scripts), and the same figures as
// JSON for the page's own refresh. Every text from the database or a workstation is escaped.
namespace OwnerPages {

// A built-in file of the page ("style.css", "refresh.js" ...).
QByteArray asset(const QString& name);
QByteArray login(const QString& notice);
QByteArray overview(const OwnerSnapshot& s);
QByteArray json(const OwnerSnapshot& s);
// The bars of billed money per hour.
QString chart(const OwnerSnapshot& s);

} // namespace OwnerPages
