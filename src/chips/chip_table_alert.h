#pragma once
// While chips are translated (GOrvexSendNumbers on), an empty chip table makes the decoding refuse
// every read. That stays so; this says it loudly, once, when the table is loaded, instead of one
// quiet refusal line per read.
#include <string>

namespace winorvex {

class StationEventSink;

// "no chip translation table: every read will be refused" (French "aucune table de correspondance
// des puces : toutes les lectures seront refusées") when chips are translated and the table in
// use is empty; an empty text otherwise.
std::string EveryReadRefusedAlertText();

// Call after every load or reload of the table. Raises the alert above when it applies: posted to
// events with its message box, or, with no events, logged at level 0 as "######## " + text.
// Returns true when it was raised.
bool AlertIfEveryReadRefused(StationEventSink* events);

}  // namespace winorvex
