// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QtGlobal>

class PrepaidCounter;
class QWidget;

namespace AddCredit {

// Asks the amount for the prepaid session on that `terminals` row and adds it; true when
// added. Nothing happens for a session that is not prepaid.
bool ask(PrepaidCounter& counter, qint64 rowid, QWidget* parent);

} // namespace AddCredit
