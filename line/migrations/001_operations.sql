-- The line's board records: every bench's rows, by their UUID. Run by the line's admin
-- as the schema's owner (tq9ctl records server-init), never by a bench.

DO $$
BEGIN
  -- Group roles: each bench logs in as a role of its own in tq9_bench; readers (the
  -- line's engineers, reports) in tq9_reader.
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'tq9_bench') THEN
    CREATE ROLE tq9_bench NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'tq9_reader') THEN
    CREATE ROLE tq9_reader NOLOGIN;
  END IF;
END
$$;

CREATE TABLE tq9.operations (
  uuid uuid PRIMARY KEY,
  bench text NOT NULL,
  -- The role that sent the row; set by the server, never by the sender.
  sent_by name NOT NULL DEFAULT session_user,
  local_id bigint NOT NULL,
  started timestamptz NOT NULL,
  ended timestamptz,
  host text NOT NULL,
  program text NOT NULL,
  pid bigint NOT NULL,
  operation text NOT NULL,
  cable_serial text NOT NULL DEFAULT '',
  cable_description text NOT NULL DEFAULT '',
  com_number integer,
  board_serial text NOT NULL DEFAULT '',
  firmware_version text NOT NULL DEFAULT '',
  firmware_name text NOT NULL DEFAULT '',
  fpga_version text NOT NULL DEFAULT '',
  scan_core text NOT NULL DEFAULT '',
  outcome text NOT NULL,
  reason text NOT NULL DEFAULT '',
  error_kind text NOT NULL DEFAULT '',
  error_count integer NOT NULL DEFAULT 0,
  result_dialog text NOT NULL DEFAULT '',
  console text NOT NULL DEFAULT '',
  upload_file text NOT NULL DEFAULT '',
  upload_size bigint,
  upload_sha256 text NOT NULL DEFAULT '',
  upload_core integer,
  upload_closing_line text NOT NULL DEFAULT '',
  image text NOT NULL DEFAULT '',
  image_sha256 text NOT NULL DEFAULT '',
  diamex_port text NOT NULL DEFAULT '',
  probe_log text NOT NULL DEFAULT ''
);
CREATE INDEX operations_by_board ON tq9.operations (board_serial, started);
CREATE INDEX operations_by_day ON tq9.operations (((started AT TIME ZONE 'UTC')::date), bench);

CREATE TABLE tq9.avrdude_runs (
  operation_uuid uuid NOT NULL REFERENCES tq9.operations (uuid),
  step integer NOT NULL,
  command_line text NOT NULL,
  exit_code integer NOT NULL,
  output text NOT NULL DEFAULT '',
  sent_by name NOT NULL DEFAULT session_user,
  PRIMARY KEY (operation_uuid, step)
);

-- What a bench may do, enforced here whatever a tool sends: a row is sent by the role
-- that sends it; only its own running row may change, and once it is no longer running it
-- never changes again; an avrdude run is added only to its own running row (a sender that
-- first sees a row finished sends it running, its runs, then its end, in one
-- transaction). Nobody but the owner deletes (no privilege granted).
CREATE FUNCTION tq9.operations_sent() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  NEW.sent_by := session_user;
  RETURN NEW;
END
$$;
CREATE TRIGGER operations_sent BEFORE INSERT ON tq9.operations
  FOR EACH ROW EXECUTE FUNCTION tq9.operations_sent();

CREATE FUNCTION tq9.operations_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF OLD.outcome <> 'running' THEN
    RAISE EXCEPTION 'operation % is %, and a finished row never changes', OLD.uuid, OLD.outcome
      USING ERRCODE = 'insufficient_privilege';
  END IF;
  IF OLD.sent_by <> session_user THEN
    RAISE EXCEPTION 'operation % was sent by %, not by %', OLD.uuid, OLD.sent_by, session_user
      USING ERRCODE = 'insufficient_privilege';
  END IF;
  -- What names the row stays as it was sent.
  NEW.uuid := OLD.uuid;
  NEW.bench := OLD.bench;
  NEW.sent_by := OLD.sent_by;
  NEW.local_id := OLD.local_id;
  NEW.started := OLD.started;
  NEW.host := OLD.host;
  NEW.program := OLD.program;
  NEW.pid := OLD.pid;
  NEW.operation := OLD.operation;
  RETURN NEW;
END
$$;
CREATE TRIGGER operations_changed BEFORE UPDATE ON tq9.operations
  FOR EACH ROW EXECUTE FUNCTION tq9.operations_changed();

CREATE FUNCTION tq9.avrdude_run_sent() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  parent_sent_by name;
  parent_outcome text;
BEGIN
  -- Only the columns a bench may read: the function runs with the sender's privileges.
  SELECT sent_by, outcome INTO parent_sent_by, parent_outcome
    FROM tq9.operations WHERE uuid = NEW.operation_uuid;
  IF parent_sent_by IS DISTINCT FROM session_user OR parent_outcome <> 'running' THEN
    RAISE EXCEPTION 'operation % takes no avrdude run from %', NEW.operation_uuid, session_user
      USING ERRCODE = 'insufficient_privilege';
  END IF;
  NEW.sent_by := session_user;
  RETURN NEW;
END
$$;
CREATE TRIGGER avrdude_run_sent BEFORE INSERT ON tq9.avrdude_runs
  FOR EACH ROW EXECUTE FUNCTION tq9.avrdude_run_sent();
CREATE FUNCTION tq9.avrdude_run_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  RAISE EXCEPTION 'an avrdude run never changes' USING ERRCODE = 'insufficient_privilege';
END
$$;
CREATE TRIGGER avrdude_run_changed BEFORE UPDATE ON tq9.avrdude_runs
  FOR EACH ROW EXECUTE FUNCTION tq9.avrdude_run_changed();

GRANT USAGE ON SCHEMA tq9 TO tq9_bench, tq9_reader;
-- A bench reads back only what an upsert by UUID needs.
GRANT SELECT (uuid, outcome, sent_by) ON tq9.operations TO tq9_bench;
GRANT INSERT, UPDATE ON tq9.operations TO tq9_bench;
GRANT SELECT (operation_uuid, step) ON tq9.avrdude_runs TO tq9_bench;
GRANT INSERT ON tq9.avrdude_runs TO tq9_bench;
GRANT SELECT ON tq9.schema_version TO tq9_bench, tq9_reader;
GRANT SELECT ON ALL TABLES IN SCHEMA tq9 TO tq9_reader;
