-- The production log's schema, for SQLite and PostgreSQL alike.
--
-- Each "-- version N" section takes a store from version N-1 to N. A store
-- is migrated forward when it is opened, inside one transaction, and the
-- number reached is kept in schema_version. Sections are never edited once
-- released: a change is a new section at the end. {key} stands for the
-- driver's self-numbering primary key. Statements end with ";" at the end
-- of a line.

-- version 1
CREATE TABLE schema_version (
    version INTEGER NOT NULL
);
INSERT INTO schema_version (version) VALUES (0);

-- One row per chip operation. result is "started" from the moment the row
-- is written (before the chip is touched) until the operation ends.
CREATE TABLE operations (
    id {key},
    started_at TEXT NOT NULL,
    finished_at TEXT,
    host TEXT NOT NULL,
    device TEXT,
    device_serial TEXT,
    chip TEXT NOT NULL,
    chip_id TEXT,
    command TEXT NOT NULL,
    file TEXT,
    file_size BIGINT,
    file_crc32 BIGINT,
    image_crc32 BIGINT,
    serial_field TEXT,
    serial BIGINT,
    serial_read BIGINT,
    result TEXT NOT NULL,
    failure_address BIGINT,
    duration_s DOUBLE PRECISION,
    version TEXT NOT NULL
);
CREATE INDEX operations_started_at ON operations (started_at);
-- serial is the number issued to the chip (spent even when the chip
-- failed); serial_read the one a verify found on it. No number is issued
-- twice, whatever a program gets wrong.
CREATE UNIQUE INDEX operations_serial ON operations (serial_field, serial);

-- The next number of each serial series, keyed by the field's spelling.
CREATE TABLE serial_series (
    field TEXT PRIMARY KEY,
    next_value BIGINT NOT NULL
);
