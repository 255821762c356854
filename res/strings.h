// The program's string table: every Korean and English text under its id.
#pragma once

// Ids for the message texts and dialog texts that carry no number of their own.
enum : unsigned {
    IDS_WRITE_ONLY_NOTICE = 62001,
    IDS_WRITE_ONLY_CAPTION = 62002,
    IDS_APPLY_STATUS = 62003,
    IDS_SAVE_STATUS = 62004,
    IDS_APPLY_QUESTION = 62005,
    IDS_APPLY_QUESTION_CAPTION = 62006,
    IDS_APPLY_FAILED = 62007,
    IDS_APPLY_FAILED_CAPTION = 62008,
    IDS_OUT_OF_MEMORY = 62009,
    IDS_OUT_OF_MEMORY_CAPTION = 62010,
    IDS_QUERY_FAILED = 62011,
    IDS_QUERY_FAILED_CAPTION = 62012,
    IDS_SAVE_FAILED_FORMAT = 62013, // "%s" stands for the full path
    IDS_SAVE_FAILED_CAPTION = 62014,
    IDS_NO_PRINTER_KEY = 62015,
    IDS_NO_PRINTER_KEY_CAPTION = 62016,
    IDS_NO_PRINTER = 62017,
    IDS_NO_PRINTER_CAPTION = 62018,
    IDS_NO_PORT = 62019,
    IDS_NO_PORT_CAPTION = 62020,
    IDS_SELECT_CAPTION = 62021,     // printer selection dialog
    IDS_SELECT_PROMPT = 62022,      // its static 1005
    IDS_OK_BUTTON = 62023,          // "확인"
    IDS_CANCEL_BUTTON = 62024,      // "취소"
    IDS_QUERY_WAIT_CAPTION = 62025, // query wait dialog
    IDS_QUERY_WAIT_TEXT = 62026,    // its static 1286
    IDS_ABOUT_CAPTION = 62027,      // About box
    IDS_ABOUT_PRODUCT = 62028,      // its static 1007
    IDS_DOC_TYPE_NAME = 62029,      // "Quillon.Document"
    IDS_MENU_FILE = 62030,          // menu texts
    IDS_MENU_SAVE = 62031,
    IDS_MENU_EXIT = 62032,
    IDS_MENU_APPLY = 62033,
    IDS_MENU_ABOUT = 62034,
    IDS_SAVE_DEFAULT_FILE = 62035, // "settings.npa"
    IDS_SAVE_DEFAULT_EXT = 62036,  // "npa"
    IDS_NOT_IN_CODE_PAGE = 62037,  // a typed or pasted character the printer's code page lacks
    IDS_MENU_REREAD = 62038,       // our own commands: re-read, restore, profiles
    IDS_MENU_RESTORE = 62039,
    IDS_MENU_EXPORT = 62040,
    IDS_MENU_IMPORT = 62041,
    IDS_REREAD_QUESTION = 62042,
    IDS_REREAD_QUESTION_CAPTION = 62043,
    IDS_REREAD_FAILED_CAPTION = 62044,
    IDS_NOT_TAKEN_HEAD = 62045, // the read-back check: settings the printer did not take
    IDS_NOT_TAKEN_LINE = 62046, // "%1", "%2", "%3": label, value sent, value held
    IDS_NOT_TAKEN_CAPTION = 62047,
    IDS_RESTORE_QUESTION = 62048, // "%s": when the settings were saved
    IDS_RESTORE_QUESTION_CAPTION = 62049,
    IDS_NO_BACKUP = 62050,
    IDS_NO_BACKUP_CAPTION = 62051,
    IDS_EXPORT_FAILED_FORMAT = 62052, // "%s" stands for the full path
    IDS_EXPORT_FAILED_CAPTION = 62053,
    IDS_IMPORT_FAILED_FORMAT = 62054, // "%s": the full path; the problems follow, a line each
    IDS_IMPORT_FAILED_CAPTION = 62055,
    IDS_PROFILE_FILTER = 62056,
    IDS_EXPORT_TITLE = 62057,
    IDS_IMPORT_TITLE = 62058,
    IDS_IMPORTED_STATUS = 62059, // "%d": how many settings changed
    IDS_IMPORTED_CAPTION = 62060,
    IDS_BACKUP_FAILED = 62061, // the settings could not be kept before an apply
    IDS_BACKUP_FAILED_CAPTION = 62062,
    IDS_PROBLEM_LINE = 62063,  // "%1": the line number; "%2": what is wrong
    IDS_PROBLEM_FILE = 62064,  // "%1": what is wrong with the file as a whole
    IDS_PROBLEM_MORE = 62065,  // "%1": how many problems are not listed
    IDS_PROBLEM_FIRST = 62066, // one text per kind of profile problem, in ProfileProblemKind order;
    IDS_PROBLEM_LAST = 62080,  // "%1" the name and "%2" the value written on the line
    IDS_NOT_REPORTED = 62081,  // the value held, when the printer did not report the setting
};

// Numbered ids of the table (labels, page titles, font, menu prompts).
enum : unsigned {
    IDS_FONT_NAME = 61303,
    IDS_PROMPT_SAVE_COMMAND_FILE = 32772,
    IDS_PROMPT_APPLY = 32774,
    IDS_PROMPT_REREAD = 32775,
    IDS_PROMPT_RESTORE = 32776,
    IDS_PROMPT_EXPORT = 32777,
    IDS_PROMPT_IMPORT = 32778,
    IDS_PROMPT_ABOUT = 57664,
    IDS_PROMPT_EXIT = 57665,
    IDS_APP_TITLE = 57344,
    IDS_IDLE_PROMPT = 57345,
};

// The text of `id` (UTF-8), or "" when the table holds no such id.
const char* LoadStringText(unsigned id);
