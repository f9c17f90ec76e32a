#pragma once

// Class id of the chart control stand-in: one of ours, in no catalog row. tools/CMakeLists.txt
// reads it from here for the control's build; tests include it to find the registration.
#define KOVIRA_CHART_STAND_IN_CLSID L"{A1847863-47C2-4787-8E75-B2463143365B}"
