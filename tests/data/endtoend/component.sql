-- The component database as an earlier version left it: the category column still named
-- Categorie, part last, limits set on the machine, and names from when the project ran on
-- the other visualisation system.
CREATE TABLE PRESET_DEFS (
  ID INTEGER,
  machine_type TEXT(50),
  type SMALLINT,
  var_name TEXT(100),
  Categorie INTEGER,
  isBitArray BIT,
  offset_or_bitno INTEGER,
  text TEXT(255),
  page_name TEXT(50),
  abs_min DOUBLE,
  abs_max DOUBLE,
  min DOUBLE,
  max DOUBLE,
  pass SMALLINT,
  part SMALLINT
);
INSERT INTO PRESET_DEFS VALUES
  (1, 'PRESS', 3, 'Press 1.Timer.T01_CloseDelay', 1, 0, 0, 'Close delay', 'Timers', 0, 300, 5, 45, 3, 1),
  (2, 'PRESS', 3, 'Ns1.PLC.Press 1.Timer.T02_PressTime', 1, 0, 2, 'Press time', 'Timers', 0, 300, 10, 95, 3, 1),
  (3, 'press', 3, 'press 1.timer.t06_coolingtime', 2, 0, 10, 'Cooling time', 'Timers', 5, 1800, 20, 600, 4, 1),
  (4, 'PRESS', 3, 'Press 1.Timer.T09_Removed', 2, 0, 16, 'Removed timer', 'Timers', 0, 10, 0, 10, 1, 1),
  (5, 'PRESS', 4, 'Press 1.Counter.C02_Batch', 4, 0, 4, 'Parts per batch', 'Counters', 1, 50000, 10, 2500, 2, 2),
  (6, 'PRESS', 4, 'Press 1.Counter.C02_Batch', 4, 0, 4, 'Parts per batch (duplicate)', 'Counters', 7, 7, 7, 7, 7, 2),
  (7, 'PRESS', 3, 'Furnace west.Timer.T01_CloseDelay', 1, 0, 0, 'Close delay', 'Timers', 0, 120, 2, 30, 2, 1),
  (8, 'PRESS', 3, 'Ns1.PLC.Furnace west.Timer.T08_LubricationTime', 3, 0, 14, 'Lubrication time', 'Service', 0, 60, 2, 15, 4, 1);
