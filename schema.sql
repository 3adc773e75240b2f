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
-- The run history, one row per run; older databases gain it when the program opens them.
CREATE TABLE IF NOT EXISTS runs (
  id          INTEGER PRIMARY KEY AUTOINCREMENT,
  session_id  INTEGER,
  session     TEXT,               -- the session's title at the time
  kind        TEXT,               -- scheduled, now, caught_up, command
  start       TEXT,               -- 'YYYY-MM-DD HH:MM:SS'; for a missed run, when it was due
  "end"       TEXT,
  outcome     TEXT,               -- running, ok, failed, nothing, missed, interrupted
  archive     TEXT DEFAULT '',
  bytes       INTEGER DEFAULT 0,
  entries     INTEGER DEFAULT 0,
  destination TEXT DEFAULT '',    -- the local path, or server:remote name
  lines       TEXT DEFAULT '[]',  -- JSON list of {"text", "ok"}
  archive_state TEXT DEFAULT ''   -- later: waiting (to be sent), sent_later, deleted
);
