-- History database of k3gap (gapbook.db). The program creates a missing file from this text.
-- One row of lishi per drawn issue; YL holds the rows of the last group calculation.
PRAGMA application_id = 1261650737;  -- 'K3GP'
CREATE TABLE IF NOT EXISTS lishi (
    IDX           INTEGER NOT NULL DEFAULT 0,   -- dense rank 1..N in SQQH order
    SQQH          INTEGER NOT NULL,             -- issue number YYMMDDNNN (or a running number)
    strQQH        TEXT,
    NF            INTEGER,
    YF            INTEGER,
    RQ            INTEGER,
    L1A INTEGER NOT NULL CHECK (L1A BETWEEN 1 AND 6),
    L2A INTEGER NOT NULL CHECK (L2A BETWEEN 1 AND 6),
    L3A INTEGER NOT NULL CHECK (L3A BETWEEN 1 AND 6),
    L1B INTEGER NOT NULL CHECK (L1B IN (0, 1)),
    L2B INTEGER NOT NULL CHECK (L2B IN (0, 1)),
    L3B INTEGER NOT NULL CHECK (L3B IN (0, 1)),
    L1E INTEGER NOT NULL CHECK (L1E IN (0, 1)),
    L2E INTEGER NOT NULL CHECK (L2E IN (0, 1)),
    L3E INTEGER NOT NULL CHECK (L3E IN (0, 1)),
    L1F INTEGER NOT NULL CHECK (L1F BETWEEN 0 AND 3),
    L2F INTEGER NOT NULL CHECK (L2F BETWEEN 0 AND 3),
    L3F INTEGER NOT NULL CHECK (L3F BETWEEN 0 AND 3),
    txtHisLst     TEXT NOT NULL,                -- the dice, e.g. '253'
    txtHisLstHm   TEXT NOT NULL,                -- pattern text of the numbers, e.g. '1X2 1X5 1X3 '
    txtHisLstDx   TEXT NOT NULL,                -- pattern text of the big/small flags
    txtHisLstDs   TEXT NOT NULL,                -- pattern text of the odd/even flags
    txtHisLstDuan TEXT NOT NULL,                -- pattern text of the segment numbers
    intTh         INTEGER NOT NULL DEFAULT 0,   -- scratch columns, kept for compatibility, unwritten
    bolOk         INTEGER NOT NULL DEFAULT 0,
    txtHisP6      TEXT
);
CREATE UNIQUE INDEX IF NOT EXISTS SQQH ON lishi (SQQH);
-- The dice and the segment numbers (which the dice alone do not give) in issue order, for the analyses
-- that need no more of a draw: they walk this index instead of the table, a sixth of its size. IDX is
-- left out, so that renumbering the draws does not rewrite it. An older file gets it at its first change.
CREATE INDEX IF NOT EXISTS k3dice ON lishi (SQQH, L1A, L2A, L3A, L1F, L2F, L3F);
CREATE TABLE IF NOT EXISTS YL (
    content  TEXT,
    intMinYL INTEGER,
    intMaxYL INTEGER,
    intLstYl INTEGER,
    sglLlr   REAL
);
-- The province whose history this is, by its code (store/province.cpp), in one row. An older file
-- without it is given it at its first change.
CREATE TABLE IF NOT EXISTS k3province (
    code TEXT NOT NULL
);
-- A number that is new after every change of the draws, so that figures counted from them can be kept
-- between runs and known to be current: one row, a random value. This program sets a new one in each of
-- its changes; the triggers do it for every other program that changes lishi. An older file gets it at
-- its first change.
CREATE TABLE IF NOT EXISTS k3version (
    token INTEGER NOT NULL
);
INSERT INTO k3version (token) SELECT random() WHERE NOT EXISTS (SELECT 1 FROM k3version);
CREATE TRIGGER IF NOT EXISTS k3version_insert AFTER INSERT ON lishi BEGIN UPDATE k3version SET token = random(); END;
CREATE TRIGGER IF NOT EXISTS k3version_update AFTER UPDATE ON lishi BEGIN UPDATE k3version SET token = random(); END;
CREATE TRIGGER IF NOT EXISTS k3version_delete AFTER DELETE ON lishi BEGIN UPDATE k3version SET token = random(); END;
