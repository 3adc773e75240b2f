CREATE TABLE Tasks (
  id       INTEGER PRIMARY KEY AUTOINCREMENT,
  Name     TEXT COLLATE NOCASE DEFAULT '',
  date     TEXT,               -- 'YYYY-MM-DD HH:MM:SS', local time
  ntime    TEXT,               -- same form; NULL until first saved
  Freq     INTEGER DEFAULT 0,
  Week     INTEGER DEFAULT 0,
  Days     INTEGER DEFAULT 0,
  autopack INTEGER DEFAULT 0   -- 0 or 1
);
CREATE TABLE files (id INTEGER, Name TEXT);
-- Later tables (runs: the run history) are created by the program when it opens the file.
