-- How the bench's databases are made, before their schema: a phone's page size, deleted records left
-- where they lay (no secure delete, no vacuum), one file without a log.
PRAGMA page_size = 4096;
PRAGMA auto_vacuum = NONE;
PRAGMA journal_mode = DELETE;
PRAGMA secure_delete = OFF;
PRAGMA cache_size = -262144;
