// koordinaten-konverter.exe: converts one coordinate pair between two EPSG
// systems with PROJ and writes the result as one line.
//
//   koordinaten-konverter.exe [--info] EPSGIN X Y [EPSGOUT]
//
// EPSGIN and EPSGOUT are EPSG codes ("31468" or "EPSG:31468"); EPSGOUT
// defaults to 4326 (WGS 84). X and Y take "." or "," as decimal separator.
// Both pairs are in the order of a map: x is easting or longitude, y is
// northing or latitude, whatever axis order the EPSG definition has.
// Standard output gets "x y" with "." and 8 decimals, and nothing else; a bad
// argument or a failed transformation gives a message on standard error, no
// output and exit status 1. --info writes the operation PROJ used and its
// stated accuracy to standard error.
//
// PROJ picks, for the point, the most accurate operation whose area of use
// contains it; for DHDN / Gauss-Krueger to WGS 84 that is the BETA2007 grid
// shift when proj-data's grid is installed.
#include <proj.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

constexpr const char* kUsage = "Aufruf: koordinaten-konverter.exe [--info] EPSGIN X Y [EPSGOUT]";

struct ContextDeleter {
  void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};
struct PjDeleter {
  void operator()(PJ* p) const { proj_destroy(p); }
};
using TContext = std::unique_ptr<PJ_CONTEXT, ContextDeleter>;
using TPj = std::unique_ptr<PJ, PjDeleter>;

// "31468" or "EPSG:31468" (any case) as "EPSG:31468"; none for anything else.
std::optional<std::string> EpsgCode(std::string_view s) {
  if (s.size() > 5 && (s[0] == 'E' || s[0] == 'e') && (s[1] == 'P' || s[1] == 'p') &&
      (s[2] == 'S' || s[2] == 's') && (s[3] == 'G' || s[3] == 'g') && s[4] == ':')
    s.remove_prefix(5);
  if (s.empty() || s.size() > 9) return std::nullopt;
  for (char c : s)
    if (c < '0' || c > '9') return std::nullopt;
  return "EPSG:" + std::string(s);
}

// A finite decimal number with at most one "." or ",": an optional sign,
// digits, an optional fraction and an optional exponent. None otherwise.
std::optional<double> Number(std::string_view s) {
  std::string text(s);
  bool separator = false;
  for (char& c : text) {
    if (c == ',' || c == '.') {
      if (separator) return std::nullopt;
      separator = true;
      c = '.';
    } else if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E')) {
      return std::nullopt;
    }
  }
  std::string_view digits(text);
  // from_chars takes no "+".
  if (digits.starts_with('+')) digits.remove_prefix(1);
  if (digits.empty() || (s.starts_with('+') && digits.starts_with('-'))) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::string Fixed(double value) {
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 8);
  if (ec != std::errc()) return "nan";
  std::string text(buffer, end);
  if (text == "-0.00000000") text.erase(0, 1);
  return text;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "koordinaten-konverter: %s\n", message.c_str());
  return 1;
}

int Run(std::vector<std::string_view> args) {
  bool info = false;
  if (!args.empty() && args.front() == "--info") {
    info = true;
    args.erase(args.begin());
  }
  if (args.size() < 3 || args.size() > 4) return Fail(kUsage);
  const auto source = EpsgCode(args[0]);
  if (!source) return Fail("ungültiger Quell-EPSG-Code: " + std::string(args[0]));
  const auto target = EpsgCode(args.size() == 4 ? args[3] : "4326");
  if (!target) return Fail("ungültiger Ziel-EPSG-Code: " + std::string(args[3]));
  const auto x = Number(args[1]);
  if (!x) return Fail("ungültige Koordinate: " + std::string(args[1]));
  const auto y = Number(args[2]);
  if (!y) return Fail("ungültige Koordinate: " + std::string(args[2]));

  const TContext context(proj_context_create());
  if (!context) return Fail("PROJ-Kontext konnte nicht angelegt werden");
  PJ_CONTEXT* ctx = context.get();
  // Our own messages say what failed; PROJ's log would only repeat it.
  proj_log_level(ctx, PJ_LOG_NONE);
  const auto proj_error = [ctx] {
    return std::string(proj_context_errno_string(ctx, proj_context_errno(ctx)));
  };

  const TPj raw(proj_create_crs_to_crs(ctx, source->c_str(), target->c_str(), nullptr));
  if (!raw) return Fail("keine Transformation " + *source + " -> " + *target + ": " + proj_error());
  // Map order on both sides: easting/longitude first.
  const TPj transformation(proj_normalize_for_visualization(ctx, raw.get()));
  if (!transformation)
    return Fail("keine Transformation " + *source + " -> " + *target + ": " + proj_error());

  const PJ_COORD out = proj_trans(transformation.get(), PJ_FWD, proj_coord(*x, *y, 0, 0));
  const int error = proj_errno(transformation.get());
  if (error != 0 || !std::isfinite(out.xy.x) || !std::isfinite(out.xy.y))
    return Fail("Transformation fehlgeschlagen: " +
                std::string(error != 0 ? proj_context_errno_string(ctx, error) : "kein Ergebnis"));

  if (info) {
    const TPj used(proj_trans_get_last_used_operation(transformation.get()));
    if (used) {
      const char* name = proj_get_name(used.get());
      const double accuracy = proj_coordoperation_get_accuracy(ctx, used.get());
      if (accuracy < 0)
        std::fprintf(stderr, "Operation: %s\nGenauigkeit: unbekannt\n", name ? name : "?");
      else
        std::fprintf(stderr, "Operation: %s\nGenauigkeit: %g m\n", name ? name : "?", accuracy);
    }
  }
  const std::string line = Fixed(out.xy.x) + " " + Fixed(out.xy.y) + "\n";
  if (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
    return Fail("Ausgabe fehlgeschlagen");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  return Run(std::move(args));
}
