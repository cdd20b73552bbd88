-- Demo catalogue of a centre: resources known to the ILS, standard tasks and
-- address data. Loaded by the run script and by the tests that need it.

INSERT INTO EINSATZMITTEL (RUFNAME, EXTERNAL_ID, TYP, WACHE, STATUS) VALUES
  ('RTW 71/1', '501', 'RTW', 'RW Altstadt', '2'),
  ('NEF 76/1', '502', 'NEF', 'RW Altstadt', '2'),
  ('RTW 71/2', '503', 'RTW', 'RW Altstadt', '2'),
  ('RTW 72/1', '504', 'RTW', 'RW Schwabing', '6'),
  ('KTW 73/1', '505', 'KTW', 'RW Schwabing', '3');

INSERT INTO STANDARD_AUFGABEN (NAME, ANSTEUERUNG_ID, DATEN, AUTOADD) VALUES
  ('Alarmierung Rettungsdienst', 1, 'RD', 2),
  ('Einsatzprotokoll anlegen', -5, '', 2),
  ('Polizei informieren', 3, 'POL', 0);

INSERT INTO OBJEKTE (OBJEKT, ORT, STRASSE, HAUSNUMMER, KOORDX, KOORDY) VALUES
  ('Neues Rathaus', 'München', 'Marienplatz', '8', '11,5761', '48,1374'),
  ('Hauptbahnhof', 'München', 'Bayerstraße', '10', '11,5583', NULL);

INSERT INTO STRASSEN (STRASSE, ORT, KOORDX, KOORDY) VALUES
  ('Marienplatz', 'München', '11,5755', '48,1372'),
  ('Bayerstraße', 'München', '11,5601', '48,1398'),
  ('Arnulfstraße', 'München', '11,5530', '48,1420');
