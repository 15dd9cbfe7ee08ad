-- The line's report reads only programming runs (production runs and AVR only): by day
-- and bench, and each board's first. These indexes hold all it needs, so it never reads
-- the rows themselves (their console lines and probe logs).

CREATE INDEX programming_by_day ON tq9.operations (((started AT TIME ZONE 'UTC')::date), bench)
  INCLUDE (started, outcome, board_serial, error_kind)
  WHERE operation IN ('production run', 'AVR only');
CREATE INDEX programming_by_board ON tq9.operations (board_serial, started)
  INCLUDE (bench, outcome)
  WHERE operation IN ('production run', 'AVR only') AND board_serial <> '';
