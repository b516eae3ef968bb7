#include "results_link/results_messages.h"

#include <cstdlib>

#include "core/number_scanner.h"
#include "core/text_format.h"

namespace winorvex {

const char* ResultsStatusText(int code) {
    switch (code) {
        case -1:
            return "IR_RUNNER_COURSE_NULL";
        case -2:
            return "Id. puce non trouvé";
        case -3:
            return "IR_RUNNER_TABLE_FULL";
        case -4:
            return "IR_RUNNER_TIME_SKIPPED";
        case -5:
            return "Coureur inconnu";
        case -6:
            return "Nombre max de passages atteint";
        case -7:
            return "Détection refusée pour le coureur";
        case -9:
            return "Détection refusée pour la course";
        case -11:
            return "IR_BIB_NUMBER_REJECTED";
        case -8:
            return "Temps de contrôle";
        case 0:
            return "Temps du coureur inchangé";
        case 1:
            return "Temps du coureur corrigé";
        case 2:
            return "Temps du coureur modifié";
        case 3:
            return "Temps pris en compte pour le coureur";
        case 4:
            return "Coureur marqué comme ayant pris le départ";
        case -20:
            return "Code inconnu";
        case 101:
            return "Erreur interne";
        case 102:
            return "Aucune compétition/course/coureur";
        case 103:
            return "Commande inconnue";
        case 104:
            return "Commande invalide";
        case 105:
            return "Résultat";
        case 106:
            return "Pas de résultat";
        case 201:
            return "Détecteur inconnu";
        case 202:
            return "Coureur inconnu";
        case 1000:
            return "Connexion refusée";
        default:
            return Tr("Status inconnu", "unknown status");
    }
}

const char* ResultsInformationLabel(int code) {
    switch (code) {
        case 0:
            return "DETCMD_UNKNOWN";
        case 1:
            return "DETCMD_PUSH_TIME";
        case 2:
            return "DETCMD_GET_RIX";
        case 3:
            return "DETCMD_GET_BIB_NUMBER";
        case 4:
            return "DETCMD_DISPLAY_DETECTOR";
        case 5:
            return "Nom de la compétition";
        case 6:
            return "Nom du fichier";
        case 7:
            return "Liste des détecteurs";
        case 8:
            return "Liste des courses";
        case 20:
            return "Ping";
        case 21:
            return "DETCMD_WINRIX_LOCK";
        case 22:
            return "DETCMD_WINRIX_UNLOCK";
        case 23:
            return "DETCMD_WINRIX_EXPEDITION";
        case 24:
            return "Application";
        case 25:
            return "Utilisateur";
        case 26:
            return "Reg. Code";
        case 27:
            return "Version";
        case 28:
            return "Printable Version";
        case 49:
            return "Commande inconnue";
        default:
            return Tr("Commande inconnue", "unknown command");
    }
}

std::string OrdinalText(int rank, std::string_view sex, Language language) {
    if (language == Language::French) {
        if (rank == 0) return "?ème";
        if (rank == 1 && !sex.empty() && sex.front() == 'F') return "1ère";
        if (rank == 1 && !sex.empty() && sex.front() == 'M') return "1er";
        return Format("%dème", rank);
    }
    if (rank == 0) return "?th";
    const int last = std::abs(rank % 10);
    const char* suffix = last == 1 ? "st" : last == 2 ? "nd" : last == 3 ? "rd" : "th";
    return Format("%d%s", rank, suffix);
}

std::string OrdinalText(int rank, std::string_view sex) {
    return OrdinalText(rank, sex, CurrentLanguage());
}

std::string VersionText(std::string_view text) {
    NumberScanner scan(text);
    std::int64_t parts[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && !scan.Expect(',')) return {};
        if (!scan.ReadLong(parts[i])) return {};
        if (parts[i] < -1000000 || parts[i] > 1000000) return {};
    }
    // A letter past 'z' would put an arbitrary byte into the text.
    if (parts[3] < 0 || parts[3] > 26) return {};
    const char letter = parts[3] == 0 ? '_' : static_cast<char>('a' + parts[3] - 1);
    return Format("%d.%d%c", static_cast<int>(parts[0]), static_cast<int>(10 * parts[1] + parts[2]), letter);
}

bool IsCompatibleResultsVersion(std::string_view versionText) {
    if (versionText.empty()) return true;
    const auto majorOf = [](std::string_view v, std::string_view& rest) {
        std::size_t i = 0;
        long major = 0;
        bool negative = i < v.size() && v[i] == '-';
        if (negative) ++i;
        for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
            if (major < 100000000) major = major * 10 + (v[i] - '0');
        }
        rest = v.substr(i);
        return negative ? -major : major;
    };
    std::string_view rest;
    std::string_view minimumRest;
    const long major = majorOf(versionText, rest);
    const long minimumMajor = majorOf(kMinimumResultsVersion, minimumRest);
    if (major != minimumMajor) return major > minimumMajor;
    return rest.compare(minimumRest) >= 0;
}

const char* DirectConnectedLogText() {
    return Tr("+ Connexion à KtORVEX effectuée avec succès", "+ Connection to KtORVEX successful");
}

const char* DirectLostAlertText() {
    return Tr("KtORVEX : Perte de connexion directe !", "KtORVEX : Direct connection lost!");
}

const char* DirectLostBalloonTitle() {
    return "Attention";
}

const char* DirectDisconnectedLogText() {
    return Tr("+ Déconnexion de KtORVEX...", "+ Disconnection from KtORVEX...");
}

const char* IncompatibleVersionText() {
    return Tr("Version KtKOR incompatible avec cette version de WinORVEX !",
              "Your KtKOR version is not compatible with this WinORVEX version!");
}

}  // namespace winorvex
