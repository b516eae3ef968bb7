#pragma once
// The program's icon, drawn rather than shipped: a reader's antenna over the letter W.
#include <QIcon>

namespace winorvex {

QIcon WinorvexIcon();

}  // namespace winorvex
