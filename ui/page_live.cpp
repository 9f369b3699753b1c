// Page 0, "Текущее значение": the live value polled once a second.
#include "ui/form1.h"

// Every 1000 ms: one polling step.
void TForm1::Timer1Timer() {
    PollLiveValue();
}

// Reads and shows the live value and the exchange state while polling is on and page 0 is shown.
void TForm1::PollLiveValue() {}

// Takes the byte order of ComboBox17 for the live value and for the communication page.
void TForm1::Button9Click() {}

// One polling step on request (the button is hidden).
void TForm1::Button10Click() {}

// Shows the last reading: value panel, status memo and their colours.
void TForm1::ShowLiveValue() {}

// Appends the last reading to the measurement log when the log is switched on.
void TForm1::LogMeasurement() {}
