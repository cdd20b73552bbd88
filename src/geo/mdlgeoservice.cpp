#include "geo/mdlgeoservice.hpp"

#include <algorithm>
#include <exception>

#include "lib/koordinatenkonverter.hpp"
#include "service/servicecontext.hpp"

using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDConnection;
using Sulvane::Firedac::TFDQuery;
namespace konverter = Sulvane::VUX::KoordinatenKonverter;

void koordinatenermittlung(const std::string& einsatznummer, const std::string& x,
                           const std::string& y, TFDConnection& connection) {
  try {
    if (x.empty() || y.empty()) {
      oltsrv().addlogsync(
          " Keine Koordinaten übermittelt, Koordinaten-Transformation abgebrochen.");
      return;
    }
    oltsrv().addlogsync(" Starte Koordinatenkonvertierung...");
    double koordx = 0, koordy = 0;
    // A converter that answers nothing, or no pair, gives no coordinates:
    // 0/0 would put the incident off the coast of Africa and keep the
    // address lookup from filling them in.
    if (!konverter::convertkoordinaten(oltsrv().Folder(), x, y, "31468", "4326", koordx, koordy))
      throw std::runtime_error("Keine Koordinaten von koordinaten-konverter.exe erhalten.");
    oltsrv().addlogsync(" Ergebnis: " + konverter::RegionalFloatToStr(koordx) + " " +
                        konverter::RegionalFloatToStr(koordy));
    TFDQuery query(connection);
    query.SQL = {
        "UPDATE EINSAETZE SET KOORDX=:koordx, KOORDY=:koordy  WHERE EINSATZNUMMER = "
        ":einsatznummer"};
    query.ParamByName("koordx").SetAsFloat(koordx);
    query.ParamByName("koordy").SetAsFloat(koordy);
    query.ParamByName("einsatznummer").SetAsString(einsatznummer);
    query.ExecSQL();
  } catch (const std::exception& e) {
    oltsrv().addlogsync("Koordinatenermittlung fehlgeschlagen: " + std::string(e.what()));
  }
}

namespace {

// The first row's KOORDX and KOORDY of a lookup, empty without a row.
void ReadKoordinaten(TFDQuery& query, std::string& koordx, std::string& koordy) {
  query.Open();
  koordy = query.Fields(1).AsString();
  koordx = query.Fields(0).AsString();
}

// The values are quoted, so that no text in the geodata can break the
// statement that takes the list.
std::string SetList(const std::string& koordy, const std::string& koordx) {
  return " KOORDY=" + QuotedStr(koordy) + "; KOORDX=" + QuotedStr(koordx);
}

}  // namespace

std::string getkoordinaten(const std::string& einsatznummer, TFDConnection& connection) {
  try {
    TFDQuery query(connection);
    query.SQL = {"SELECT ORT,STRASSE,OBJEKTNAME,HAUSNUMMER FROM EINSAETZE WHERE EINSATZNUMMER = " +
                 einsatznummer};
    query.Open();
    const std::string ort = query.FieldByName("ORT").AsString();
    const std::string objektname = query.FieldByName("OBJEKTNAME").AsString();
    const std::string strasse = query.FieldByName("STRASSE").AsString();

    std::string result, koordx, koordy;
    if (!objektname.empty()) {
      query.SQL = {"SELECT KOORDX,KOORDY FROM OBJEKTE WHERE OBJEKT = " + QuotedStr(objektname) +
                   " AND ORT = " + QuotedStr(ort)};
      ReadKoordinaten(query, koordx, koordy);
      result = SetList(koordy, koordx);
    }
    // Only KOORDY tells whether a lookup found coordinates.
    if (result.empty() || koordy.empty()) {
      query.SQL = {"SELECT KOORDX,KOORDY FROM STRASSEN WHERE STRASSE = " + QuotedStr(strasse) +
                   " AND ORT = " + QuotedStr(ort)};
      ReadKoordinaten(query, koordx, koordy);
      result = SetList(koordy, koordx);
    }
    if (koordy.empty()) return {};
    std::replace(result.begin(), result.end(), ',', '.');
    std::replace(result.begin(), result.end(), ';', ',');
    return result;
  } catch (const std::exception&) {
    // A half-done lookup is no result: the list would not be valid SQL.
    return {};
  }
}
