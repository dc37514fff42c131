#pragma once

// The application: runs the main dialog modally; the program ends with it.
class CLumaretApp {
public:
    CLumaretApp() = default;

    // Constructs the dialog, runs it and returns false, so that no message
    // loop of the application's own follows.
    bool InitInstance();
};

extern CLumaretApp theApp;
