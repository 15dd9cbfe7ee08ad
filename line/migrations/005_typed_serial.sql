-- The serial the operator typed over the one the board reported ("Serial #"), kept apart
-- so that board_serial stays what the board said.

ALTER TABLE tq9.operations ADD COLUMN typed_serial text NOT NULL DEFAULT '';
