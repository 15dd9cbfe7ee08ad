-- The server decides which bench a role speaks for: the admin registers each bench role's
-- bench (tq9ctl records server-bench ROLE BENCH), and a row a bench role sends under any
-- other name is refused. Rows sent before this version by a bench role are unchecked
-- until its bench is registered, which then gives them that bench.

-- A bench: a role in tq9_bench (a superuser is in every role, and is the admin).
CREATE FUNCTION tq9.is_bench(role name) RETURNS boolean LANGUAGE sql STABLE AS $$
  SELECT coalesce((SELECT NOT r.rolsuper AND pg_has_role(r.oid, 'tq9_bench', 'MEMBER')
                   FROM pg_roles r WHERE r.rolname = role), false)
$$;

CREATE TABLE tq9.benches (
  role name PRIMARY KEY,
  bench text NOT NULL UNIQUE
);

-- Whether the row's bench is the one the server has for its sender. Rows of the admin's
-- own (not a bench role) are its word.
ALTER TABLE tq9.operations ADD COLUMN bench_checked boolean NOT NULL DEFAULT false;
ALTER TABLE tq9.operations DISABLE TRIGGER operations_changed;
UPDATE tq9.operations o SET bench_checked = true
  WHERE EXISTS (SELECT FROM pg_roles r WHERE r.rolname = o.sent_by)
    AND NOT tq9.is_bench(o.sent_by);
ALTER TABLE tq9.operations ENABLE TRIGGER operations_changed;

-- Reads the benches table, which a bench may not: hence the owner's rights.
CREATE OR REPLACE FUNCTION tq9.operations_sent() RETURNS trigger LANGUAGE plpgsql
  SECURITY DEFINER SET search_path = pg_catalog AS $$
DECLARE
  registered text;
BEGIN
  NEW.sent_by := session_user;
  NEW.bench_checked := true;
  IF NOT tq9.is_bench(session_user) THEN
    RETURN NEW;
  END IF;
  SELECT b.bench INTO registered FROM tq9.benches b WHERE b.role = session_user;
  IF registered IS NULL THEN
    RAISE EXCEPTION 'role % has no bench registered on the line (the admin runs tq9ctl records server-bench)',
      session_user USING ERRCODE = 'insufficient_privilege';
  END IF;
  IF NEW.bench IS DISTINCT FROM registered THEN
    RAISE EXCEPTION 'role % sends for bench %, not for %', session_user, registered, NEW.bench
      USING ERRCODE = 'insufficient_privilege';
  END IF;
  RETURN NEW;
END
$$;

CREATE OR REPLACE FUNCTION tq9.operations_changed() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  kept tq9.operations;
BEGIN
  -- The admin registering a bench gives another role's rows their checked bench, and
  -- changes nothing else of them.
  IF OLD.sent_by <> session_user AND NOT tq9.is_bench(session_user) THEN
    kept := NEW;
    kept.bench := OLD.bench;
    kept.bench_checked := OLD.bench_checked;
    IF kept IS DISTINCT FROM OLD THEN
      RAISE EXCEPTION 'operation % was sent by %: only its bench may change', OLD.uuid, OLD.sent_by
        USING ERRCODE = 'insufficient_privilege';
    END IF;
    RETURN NEW;
  END IF;
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
  NEW.bench_checked := OLD.bench_checked;
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

-- The admin's: registers (or moves) a bench role's bench; the role's unchecked rows take it.
CREATE FUNCTION tq9.register_bench(bench_role name, bench_name text) RETURNS bigint
  LANGUAGE plpgsql AS $$
DECLARE
  taken bigint;
BEGIN
  IF NOT tq9.is_bench(bench_role) THEN
    RAISE EXCEPTION 'role % is not a bench role (in tq9_bench)', bench_role
      USING ERRCODE = 'invalid_parameter_value';
  END IF;
  INSERT INTO tq9.benches (role, bench) VALUES (bench_role, bench_name)
    ON CONFLICT (role) DO UPDATE SET bench = EXCLUDED.bench;
  UPDATE tq9.operations SET bench = bench_name, bench_checked = true
    WHERE sent_by = bench_role AND NOT bench_checked;
  GET DIAGNOSTICS taken = ROW_COUNT;
  RETURN taken;
END
$$;
REVOKE EXECUTE ON FUNCTION tq9.register_bench(name, text) FROM PUBLIC;

-- The sender's own bench, for server-check.
CREATE FUNCTION tq9.my_bench() RETURNS text LANGUAGE sql STABLE SECURITY DEFINER
  SET search_path = pg_catalog AS $$
  SELECT b.bench FROM tq9.benches b WHERE b.role = session_user
$$;
GRANT SELECT ON tq9.benches TO tq9_reader;

-- The report reads whether a row's bench is checked beside it.
DROP INDEX IF EXISTS tq9.programming_by_day;
CREATE INDEX programming_by_day ON tq9.operations (((started AT TIME ZONE 'UTC')::date), bench)
  INCLUDE (started, outcome, board_serial, error_kind, failed_step, bench_checked)
  WHERE operation IN ('production run', 'AVR only');

-- No bench or reader makes tables of its own, temporary ones neither.
DO $$
BEGIN
  EXECUTE format('REVOKE TEMPORARY ON DATABASE %I FROM PUBLIC', current_database());
END
$$;
