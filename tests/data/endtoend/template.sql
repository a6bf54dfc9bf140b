-- Template of the end-to-end run: the sample template with a shorter var_name column.
-- Declared types carry the field types and sizes: TEXT(n) text of n characters, SMALLINT short
-- integer, INTEGER long integer, DOUBLE double, BIT yes/no (-1 True, 0 False).

-- Variable-name patterns per visualisation system and part.
CREATE TABLE Source_DEFS (
  ID INTEGER,
  System TEXT(50),
  Part INTEGER,
  Var_Name TEXT(255)
);
INSERT INTO Source_DEFS VALUES (1, 'VisiWin32', 1, '###machine.Timer.###Var_Name');
INSERT INTO Source_DEFS VALUES (2, 'VisiWin32', 2, '###machine.Counter.###Var_Name');
INSERT INTO Source_DEFS VALUES (3, 'VisiWinStudio', 1, 'Ns1.PLC.###machine.Timer.###Var_Name');
INSERT INTO Source_DEFS VALUES (4, 'VisiWinStudio', 2, 'Ns1.PLC.###machine.Counter.###Var_Name');

-- The preset rows: part 1 the sixteen time values, part 2 the counters. part comes before
-- var_name, since the variable name's pattern is chosen by it.
CREATE TABLE Source_PRESET_DEFS (
  ID INTEGER,
  part SMALLINT,
  machine_type TEXT(50),
  type SMALLINT,
  var_name TEXT(50),
  category_id INTEGER,
  isBitArray BIT,
  offset_or_bitno INTEGER,
  text TEXT(255),
  page_name TEXT(50),
  abs_min DOUBLE,
  abs_max DOUBLE,
  min DOUBLE,
  max DOUBLE,
  pass SMALLINT
);
INSERT INTO Source_PRESET_DEFS VALUES
  (1, 1, 'PRESS', 3, 'T01_CloseDelay', 1, 0, 0, 'Close delay ###machine', 'Timers', 0, 600, 0, 60, 2),
  (2, 1, 'PRESS', 3, 'T02_PressTime', 1, 0, 2, 'Press time ###machine', 'Timers', 0, 600, 1, 120, 2),
  (3, 1, 'PRESS', 3, 'T03_HoldTime', 1, 0, 4, 'Hold time ###machine', 'Timers', 0, 600, 0, 90, 2),
  (4, 1, 'PRESS', 3, 'T04_OpenDelay', 1, 0, 6, 'Open delay ###machine', 'Timers', 0, 600, 0, 60, 2),
  (5, 1, 'PRESS', 3, 'T05_EjectTime', 2, 0, 8, 'Eject time ###machine', 'Timers', 0, 600, 0, 30, 3),
  (6, 1, 'PRESS', 3, 'T06_CoolingTime', 2, 0, 10, 'Cooling time ###machine', 'Timers', 0, 3600, 10, 900, 3),
  (7, 1, 'PRESS', 3, 'T07_LubricationPause', 3, 0, 12, 'Lubrication pause', 'Service', 0, 36000, 60, 7200, 4),
  (8, 1, 'PRESS', 3, 'T08_LubricationTime', 3, 0, 14, 'Lubrication time', 'Service', 0, 600, 1, 20, 4),
  (9, 2, 'PRESS', 4, 'C01_Parts', 4, 0, 0, 'Parts counter ###machine', 'Counters', 0, 999999, 0, 999999, 1),
  (10, 2, 'PRESS', 4, 'C02_Batch', 4, 0, 4, 'Parts per batch', 'Counters', 1, 99999, 1, 5000, 2),
  (11, 2, 'PRESS', 4, 'C03_ToolStrokes', 4, 0, 8, 'Tool strokes until service', 'Service', 0, 9999999, 1000, 500000, 4),
  (12, 2, 'PRESS', 1, 'C04_CounterAlarm', 4, -1, 3, 'Counter alarm ###machine', 'Counters', NULL, NULL, NULL, NULL, 1);

-- Further template tables are copied into the component database as they are.
CREATE TABLE Units (
  ID INTEGER,
  Unit TEXT(10),
  Factor DOUBLE
);
INSERT INTO Units VALUES (1, 'ms', 0.001), (2, 's', 1), (3, 'min', 60);
