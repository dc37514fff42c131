#pragma once

// Control, template and command ids of the dialogs. The controls carry their
// id's name as object name, so tests and tools find them.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_MAIN_DIALOG = 102;
inline constexpr int IDD_LEARN_REMOTE = 103;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_PORT = 1000;
inline constexpr int IDC_OPEN = 1002;
inline constexpr int IDC_GET_VERSION = 1003;
inline constexpr int IDC_EXPORT = 1004;
inline constexpr int IDC_IMPORT = 1005;
inline constexpr int IDC_CHANNEL = 1006;
inline constexpr int IDC_KEY_NO = 1007;
inline constexpr int IDC_READ = 1008;
inline constexpr int IDC_LEARN = 1009;
inline constexpr int IDC_SEND = 1010;
inline constexpr int IDC_LOG = 1011;
inline constexpr int IDC_VERSION = 1012;
inline constexpr int IDC_PROGRESS = 1013;

// The learn dialog's controls (its Close button is IDCANCEL).
inline constexpr int IDC_MAP = 1014;
inline constexpr int IDC_CHOOSE_MAP = 1015;
inline constexpr int IDC_KEYS = 1016;
inline constexpr int IDC_KEY_PROMPT = 1017;
inline constexpr int IDC_TIME_LEFT = 1018;
inline constexpr int IDC_SKIP = 1019;
inline constexpr int IDC_REDO = 1020;
inline constexpr int IDC_STOP = 1021;
inline constexpr int IDC_CONFIRM_TWICE = 1022;
inline constexpr int IDC_LEARN_STATUS = 1023;
inline constexpr int IDC_START = 1024;

inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
inline constexpr unsigned IDM_LEARN_REMOTE = 0x0020;
inline constexpr unsigned IDM_MODULE_MAP = 0x0030;
inline constexpr unsigned SC_CLOSE = 0xF060;

inline constexpr int LEARN_TIMER_ID = 1;

// Private event by which a transfer worker moves the progress bar.
inline constexpr int WM_USER = 0x0400;
inline constexpr int WM_TRANSFER_PROGRESS = WM_USER + 1000; // 0x07E8

inline constexpr const char* STR_ABOUTBOX = "&About Lumaret...";
