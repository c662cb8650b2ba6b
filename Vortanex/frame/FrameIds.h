#pragma once
// Command and pane ids of the main frame that more than one file names.

// Commands.
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_CLOSE = 57602;
inline constexpr int ID_FILE_PRINT = 57607;
inline constexpr int ID_FILE_PRINT_DIRECT = 57608;
inline constexpr int ID_FILE_PRINT_PREVIEW = 57609;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_WINDOW_CASCADE = 57650;
inline constexpr int ID_WINDOW_TILE_HORZ = 57651;
inline constexpr int ID_WINDOW_TILE_VERT = 57652;
inline constexpr int ID_APP_ABOUT = 57664;
// Every way out (the menu, F11, the login's and the unlock's exit, logout,
// the end of the desktop session) is this one command.
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_HELP_FILE = 400;
inline constexpr int ID_WHATS_NEW = 1499;
inline constexpr int ID_REPORT_ERROR = 1514;
inline constexpr int ID_RIBBON_OPTIONS = 32857;
inline constexpr int ID_PROFILE = 33319;
inline constexpr int ID_WINDOW_MANAGER = 32823;
inline constexpr int ID_MDI_NEW_VERT_GROUP = 32852;
inline constexpr int ID_MDI_NEW_HORZ_GROUP = 32853;
inline constexpr int ID_MDI_MOVE_TO_PREV_GROUP = 32854;
inline constexpr int ID_MDI_MOVE_TO_NEXT_GROUP = 32856;
inline constexpr int ID_CONNECT = 32866;
inline constexpr int ID_DISCONNECT = 32867;
inline constexpr int ID_FILE_LOCKTERMINAL = 32861;
inline constexpr int ID_SEL_WATCHLIST = 32805;
inline constexpr int ID_SCRIP_SEARCH = 1163;
inline constexpr int ID_NEW_BUY_EQUITY = 32868;
inline constexpr int ID_NEW_SELL_EQUITY = 32869;
inline constexpr int ID_REPORTS_ORDERS = 32877;

// Pane toggles. Each is bound to its pane object, not to a pane id: the
// "Charts" pane's own id is the "WatchList" toggle's command id.
inline constexpr int ID_VIEW_WATCHLIST = 32803;
inline constexpr int ID_VIEW_MARKET_STATUS = 32792;
inline constexpr int ID_VIEW_OUTPUT = 32804;
inline constexpr int ID_VIEW_CHARTS = 1319;
inline constexpr int ID_VIEW_INDICES = 32914;

// Pane ids of the docking panes.
inline constexpr int ID_PANE_MESSAGES = 32804;
inline constexpr int ID_PANE_WATCHLIST = 32805;
inline constexpr int ID_PANE_MARKET_STATUS = 32806;
inline constexpr int ID_PANE_CHARTS = 32803;

// Status bar indicators, in pane order (0 is the stretching separator).
inline constexpr int ID_INDICATOR_SEPARATOR = 0;
inline constexpr int ID_INDICATOR_CLICK_HERE = 33320;
inline constexpr int ID_INDICATOR_SUNVALE = 33318;
inline constexpr int ID_INDICATOR_USERNAME = 32821;
inline constexpr int ID_INDICATOR_GCRN = 32822;
inline constexpr int ID_INDICATOR_CLIENT = 32818;
inline constexpr int ID_INDICATOR_FEEDTIME = 32819;
inline constexpr int ID_INDICATOR_CONNECT = 32820;

// Menus of the document tabs.
inline constexpr int IDR_POPUP_MDITABS = 205;
inline constexpr int IDR_POPUP_DROP_MDITABS = 207;

// The frame's timer.
inline constexpr int kFrameTimerId = 1;
inline constexpr int kFrameTimerMs = 25000;
