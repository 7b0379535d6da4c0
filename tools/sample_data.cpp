#include "tools/sample_data.h"

#include <algorithm>

#include "records/format.h"

namespace livrana::sample {
namespace {

constexpr std::size_t kWriteChunk = 1 << 20;

constexpr std::string_view kFirstNames[] = {
    "João",  "Maria",   "José",      "Ana",     "Antônio", "Conceição", "Francisco",
    "Luíza", "Márcia",  "Sebastião", "Cláudia", "Mário",   "Inês",      "Raimundo",
    "Célia", "Joaquim", "Lúcia",     "Paulo",   "Fátima",  "Jéssica",   "André"};
constexpr std::string_view kSurnames[] = {
    "da Silva",  "dos Santos", "Oliveira",  "Souza",     "Araújo", "Conceição", "Gonçalves",
    "Ribeiro",   "Pereira",    "Brandão",   "Magalhães", "Simões", "Gusmão",    "Lopes",
    "Fernandes", "Assunção",   "Guimarães", "Barbosa",   "Vieira", "Damásio"};
constexpr std::string_view kBusinesses[] = {
    "Padaria São João",       "Mercearia Boa Esperança",   "Auto Peças Três Irmãos",
    "Farmácia Popular",       "Construtora Araújo",        "Confecções Maré Alta",
    "Distribuidora Paraná",   "Restaurante Sabor Caseiro", "Açougue Gaúcho",
    "Livraria Cândido",       "Ótica Visão Clara",         "Serralheria Ferreira",
    "Transportes Rápido Sul", "Sorveteria Pólo Norte",     "Papelaria Estrela",
    "Madeireira Ipê",         "Laticínios Serra Azul",     "Gráfica Arte Nova",
    "Calçados Passo Firme",   "Eletrônica Guaraná",        "Móveis Jacarandá",
    "Vidraçaria Cristal",     "Clínica Bem-Estar",         "Hortifrúti Família"};
constexpr std::string_view kSuffixes[] = {" Ltda", " Ltda.", " ME", " EPP", " S.A.", " & Cia"};
constexpr std::string_view kStreets[] = {
    "Rua das Acácias",         "Avenida Brasil",         "Rua Quinze de Novembro",
    "Travessa São Bento",      "Avenida Getúlio Vargas", "Rua Marechal Deodoro",
    "Alameda Santos",          "Rua da Conceição",       "Praça Tiradentes",
    "Rua Barão do Rio Branco", "Estrada do Itapecerica", "Rua Antônio Prado"};
constexpr City kCities[] = {
    {"São Paulo", "SP", 11},    {"Rio de Janeiro", "RJ", 21}, {"Belo Horizonte", "MG", 31},
    {"Curitiba", "PR", 41},     {"Joinville", "SC", 47},      {"Florianópolis", "SC", 48},
    {"Porto Alegre", "RS", 51}, {"Brasília", "DF", 61},       {"Goiânia", "GO", 62},
    {"Salvador", "BA", 71},     {"Recife", "PE", 81},         {"Fortaleza", "CE", 85},
    {"Belém", "PA", 91},        {"Campinas", "SP", 19},       {"Vitória", "ES", 27},
    {"Maceió", "AL", 82},       {"São Luís", "MA", 98},       {"Cuiabá", "MT", 65}};
constexpr std::string_view kOperations[] = {"CFOP 5102", "CFOP 5405", "CFOP 6102",
                                            "CFOP 5101", "CFOP 1102", "CFOP 5933"};
constexpr std::string_view kDescriptions[] = {
    "Venda de mercadorias",      "Prestação de serviços", "Devolução de compra",
    "Venda para entrega futura", "Remessa para conserto", "Venda de produção própria",
    "Serviço de manutenção",     "Revenda de peças",      "Transferência entre filiais"};

}  // namespace

Random StreamFor(std::uint64_t seed, std::uint64_t a, std::uint64_t b) {
  Random mix(seed);
  std::uint64_t s = mix.Next() ^ (a * 0xD6E8FEB86659FD93ull);
  s = Random(s).Next() ^ (b * 0xA0761D6478BD642Full);
  return Random(Random(s).Next());
}

const City& PickCity(Random& r) { return kCities[r.Below(static_cast<int>(std::size(kCities)))]; }
std::string_view FirstName(Random& r) { return r.Pick(kFirstNames); }
std::string_view Street(Random& r) { return r.Pick(kStreets); }
std::string_view Operation(Random& r) { return r.Pick(kOperations); }
std::string_view Description(Random& r) { return r.Pick(kDescriptions); }

std::string PersonName(Random& r) {
  std::string name(r.Pick(kFirstNames));
  name += ' ';
  name += r.Pick(kSurnames);
  if (r.Percent(40)) {
    name += ' ';
    name += r.Pick(kSurnames);
  }
  return name;
}

std::string BusinessName(Random& r) {
  return std::string(r.Pick(kBusinesses)) + std::string(r.Pick(kSuffixes));
}

std::string TaxNumber(Random& r) {
  return Format("%02d.%03d.%03d/%04d-%02d", r.Below(100), r.Below(1000), r.Below(1000),
                r.Between(1, 3), r.Below(100));
}

std::string Amount(Random& r, int max_reais) {
  int reais = r.Between(1, max_reais);
  int cents = r.Below(100);
  if (reais >= 1000000)
    return Format("%d.%03d.%03d,%02d", reais / 1000000, reais / 1000 % 1000, reais % 1000, cents);
  if (reais >= 1000) return Format("%d.%03d,%02d", reais / 1000, reais % 1000, cents);
  return Format("%d,%02d", reais, cents);
}

std::string Address(Random& r) { return Format("%s, %d", r.Pick(kStreets), r.Between(1, 4999)); }

std::string Landline(Random& r, int area) {
  return Format("(%02d) %d%03d-%04d", area, r.Between(2, 5), r.Below(1000), r.Below(10000));
}
std::string Mobile(Random& r, int area) {
  return Format("(%02d) 9%04d-%04d", area, r.Below(10000), r.Below(10000));
}
std::string Extension(Random& r) { return Format("Ramal %d", r.Between(10, 999)); }
std::string Contact(Random& r) { return std::string("Falar com ") + std::string(FirstName(r)); }
std::string Fax(Random& r, int area) { return "Fax " + Landline(r, area); }

void Put(std::string& record, std::int32_t offset, std::int32_t width, std::string_view text) {
  auto n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(width));
  record.replace(static_cast<std::size_t>(offset), n, text.substr(0, n));
}

TableWriter::TableWriter(platform::FileSystem& fs, std::string path, std::int32_t length,
                         int records, SampleResult& result)
    : path_(std::move(path)), result_(result) {
  file_ = OpenCreate(fs, path_);
  if (file_) file_->SetRecordLength(static_cast<std::uint32_t>(length));
  auto whole = static_cast<std::size_t>(length) * static_cast<std::size_t>(std::max(records, 0));
  buffer_.reserve(std::min(whole, kWriteChunk) + static_cast<std::size_t>(length));
  ok_ = file_ != nullptr;
}

void TableWriter::Add(const std::string& record) {
  buffer_ += record;
  if (buffer_.size() >= kWriteChunk) Drain();
}

void TableWriter::Finish() {
  Drain();
  ok_ = CloseFile(file_) && ok_;
  if (ok_) {
    ++result_.files;
  } else if (result_.ok) {
    result_.ok = false;
    result_.error = Format("não foi possível escrever %s", path_);
  }
}

void TableWriter::Drain() {
  if (ok_ && !buffer_.empty()) {
    ok_ = file_->Write(buffer_);
    result_.bytes += buffer_.size();
  }
  buffer_.clear();
}

}  // namespace livrana::sample
