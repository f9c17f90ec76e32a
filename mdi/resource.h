#pragma once

#define IDB_MDI_TOOLBOX 101

// A view's window: a captioned child dialog without controls, and its big icon.
#define IDD_CHILD_VIEW 103
#define IDI_CHILD_VIEW 201
