-- Which step of a pass failed, the board as read after programming, and the warning when
-- that board and the image's name disagree: sent with a row's end, as the rest of it.

ALTER TABLE tq9.operations
  ADD COLUMN failed_step text NOT NULL DEFAULT '',
  ADD COLUMN board_after text NOT NULL DEFAULT '',
  ADD COLUMN image_mismatch text NOT NULL DEFAULT '';

-- The report counts failures by the failed step: the index by day holds it too.
DROP INDEX IF EXISTS tq9.programming_by_day;
CREATE INDEX programming_by_day ON tq9.operations (((started AT TIME ZONE 'UTC')::date), bench)
  INCLUDE (started, outcome, board_serial, error_kind, failed_step)
  WHERE operation IN ('production run', 'AVR only');
