#include "notice/texts.h"

#include <array>
#include <utility>

#include "common/text.h"

namespace vx::notice {
namespace {

struct Row {
  std::string_view code;
  NoticeTexts texts;
};

// clang-format off
constexpr std::array<Row, 18> rows{{
    {"en", {"Update available", "This program has been updated.",
            "It is recommended to download and execute new for stable use.\n\nDo you want to download it?"}},
    {"ko", {"업데이트 가능", "업데이트 정보가 있습니다.",
            "안정적으로 사용하기 위해 업데이트를 하시길 권장합니다.\n\n다운로드 받으시겠습니까?"}},
    {"ja", {"アップデート可", "このプログラムがアップデートされました。",
            "安定的に使用するために新しくダウンロード·実行することをお勧めします。\n\nダウンロードしますか。"}},
    {"zh", {"可更新", "该程序已更新。", "建议下载并执行新程序以稳定使用。\n\n您要下载吗？"}},
    {"ru", {"Обновление", "Данная программа была обновлена.",
            "Рекомендуется скачать и выполнить новое для стабильного использования.\n\nВы хотите загрузить ее?"}},
    {"it", {"Aggiornabile", "È disponibile una nuova versione del programma.",
            "Ti suggeriamo di scaricare ed aggiornare il programma.\n\nVuoi scaricare la nuova versione del programma?"}},
    {"fr", {"Maj dispo", "Ce programme a été mis à jour.",
            "Il est recommandé de télécharger et d'exécuter la nouvelle version pour une utilisation stable.\n\n"
            "Voulez-vous le télécharger?"}},
    {"es", {"Actualización disponible", "Este programa ha sido actualizado.",
            "Se recomienda descargar y ejecutar la nueva versión para un uso estable.\n\n¿Desea descargarla?"}},
    {"ar", {"تحديث متاح", "تم تحديث هذا البرنامج.",
            "يُنصح بتنزيل النسخة الجديدة وتشغيلها لضمان الاستخدام المستقر.\n\nهل تريد تنزيلها؟"}},
    {"pt", {"Atualização disponível", "Este programa foi atualizado.",
            "Recomenda-se baixar e executar a nova versão para um uso estável.\n\nDeseja baixá-la?"}},
    {"de", {"Update möglich", "Dieses Programm ist aktualisiert worden.",
            "Es wird empfohlen, es herunterzuladen und neu auszuführen, um es stabil zu verwenden.\n\n"
            "Möchten Sie es herunterladen?"}},
    {"hi", {"अपडेट उपलब्ध", "यह प्रोग्राम अपडेट हो गया है।",
            "स्थिर उपयोग के लिए नया संस्करण डाउनलोड करके चलाने की अनुशंसा की जाती है।\n\n"
            "क्या आप इसे डाउनलोड करना चाहते हैं?"}},
    {"tr", {"Güncelleme var", "Bu program güncellendi.",
            "Kararlı kullanım için yeni sürümü indirip çalıştırmanız önerilir.\n\nİndirmek ister misiniz?"}},
    {"vi", {"Có bản cập nhật", "Chương trình này đã được cập nhật.",
            "Bạn nên tải xuống và chạy phiên bản mới để sử dụng ổn định.\n\nBạn có muốn tải xuống không?"}},
    {"th", {"มีอัปเดต", "โปรแกรมนี้ได้รับการอัปเดตแล้ว",
            "ขอแนะนำให้ดาวน์โหลดและเรียกใช้เวอร์ชันใหม่เพื่อการใช้งานที่เสถียร\n\nคุณต้องการดาวน์โหลดหรือไม่?"}},
    {"id", {"Pembaruan tersedia", "Program ini telah diperbarui.",
            "Disarankan untuk mengunduh dan menjalankan versi baru agar penggunaan tetap stabil.\n\n"
            "Apakah Anda ingin mengunduhnya?"}},
    {"pl", {"Dostępna aktualizacja", "Ten program został zaktualizowany.",
            "Zaleca się pobranie i uruchomienie nowej wersji, aby zapewnić stabilne działanie.\n\nCzy chcesz ją pobrać?"}},
    {"nl", {"Update beschikbaar", "Dit programma is bijgewerkt.",
            "Het wordt aanbevolen de nieuwe versie te downloaden en uit te voeren voor stabiel gebruik.\n\n"
            "Wilt u deze downloaden?"}},
}};
// clang-format on

}  // namespace

const NoticeTexts& notice_texts(std::string_view language) {
  if (language.size() == 2)
    for (const Row& row : rows)
      if (row.code == language) return row.texts;
  return rows[0].texts;
}

bool is_web_address(std::string_view url) {
  if (url.size() > 2048 || !(url.starts_with("https://") || url.starts_with("http://"))) return false;
  for (const char c : url)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

std::string footer_link(std::string_view text, std::string_view url) {
  if (text.empty() || !is_web_address(url)) return {};
  return "<a href=\"" + escape_markup(url) + "\">" + escape_markup(text) + "</a>";
}

std::string plain_text(std::string_view text, std::size_t max_bytes) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // Stop before a character that would not fit whole.
    if (out.size() >= max_bytes && (c & 0xC0) != 0x80) break;
    if (out.size() >= max_bytes + 3) break;
    out += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
  }
  return out;
}

}  // namespace vx::notice
