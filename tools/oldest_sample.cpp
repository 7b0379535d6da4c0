#include "tools/oldest_sample.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/format.h"
#include "records/layouts/charts.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/old_ledgers.h"
#include "records/layouts/phone_tables.h"
#include "records/layouts/products.h"
#include "records/layouts/rate_tables.h"
#include "records/values.h"
#include "tools/sample_data.h"

namespace livrana {
namespace {

using sample::BusinessName;
using sample::City;
using sample::PersonName;
using sample::PickCity;
using sample::Random;
using sample::StreamFor;
using sample::TableWriter;

// A field of a record layout: where it starts and how wide it is.
struct Field {
  std::int32_t offset, width;
};

void Put(std::string& record, Field field, std::string_view text) {
  sample::Put(record, field.offset, field.width, text);
}
std::string_view Get(std::string_view record, Field field) {
  return record.substr(static_cast<std::size_t>(field.offset),
                       static_cast<std::size_t>(field.width));
}

// ---------------------------------------------------------------------------------------
// The files of the oldest layout and the step of the chain that consumes each (a table
// that a step only carries along is consumed by a later one):
//
//   file                          record  consumed by
//   F0.DAT                           700  rebuild-registers (F00.DAT, then F00R0.DAT)
//   f1.dat, f2.dat                   700  import-old-files (F1R0, F2R0), then
//                                         rebuild-registers, version-301 (addresses)
//   f0dp.dat                          51  import-old-files (G04), version-301 (G04R0)
//   f3.dat                           142  import-old-files (G06), versions-320-362 (F19)
//   group00.dat, group01.dat          52  import-old-files (G01), rebuild-registers
//                                         (G20, G21), number-charts (G20R0)
//   data, daen2, dasa2, dac1,             import-old-files (L01 to L06), company-folders,
//   dac2, dinv \ <code>*.dat              rebuild-registers, split-ledgers
//   G01, G04, G06, L01 to L06             empty: the targets of import-old-files
//   G02, L07 to L12 \ <code>*.dat         company-folders, rebuild-registers (G02),
//                                         split-ledgers (L07 to L12), versions-320-362
//   <code>\L13<year>, L14<year>      136  rebuild-registers (L14B), split-ledgers (L23)
//   <code>\L15.DAT                   506  rebuild-registers (L15B, G15), versions-320-362
//   <code>\L16.DAT                16x20  rebuild-registers (G16), versions-320-362
//   <code>\L17<year>.DAT             227  split-ledgers (L26)
//   <code>\G24.DAT                   200  versions-320-362 (G07, G07R0)
//   F20.DAT, F21.DAT                 209  number-charts (F20R0.DAT)
//   CONFIGA.DAT                       11  versions-320-362 (counters of F34.DAT)
//   R63\<year>.DAT                   230  invoices-364 (product items)
//   F08.DAT                         1000  chart-r1 (F08R1.DAT)
//   F25R0.DAT                        557  chart-r1 (codes widened)
//   obsolete files, R02, daen,            remove-obsolete
//   dasa, cfeq, cfst, valida, sintegra
// ---------------------------------------------------------------------------------------

// The independent random streams of the folder's parts.
enum Stream : std::uint64_t {
  kRegisterStream = 1000,
  kCustomerStream,
  kSupplierStream,
  kDepartmentStream,
  kEcfStream,
  kLedgerStream,
  kSaleStream,
  kPurchaseStream,
  kHistory18Stream,
  kHistory19Stream,
  kInventoryStream,
  kMovementStream,
  kL08Stream,
  kL09Stream,
  kL10Stream,
  kL11Stream,
  kComplementStream,
  kProductItemStream,
  kOpening13Stream,
  kOpening14Stream,
  kProductStream,
  kServiceStream,
  kBankStream,
  kPhoneTableStream,
  kCounterStream,
};

// The older company register F0.DAT and the tables 1 and 2 (customers, suppliers) share
// the first part of their layout; the address block 91-190 is what version 3.01 folds.
namespace reg {
constexpr std::int32_t kLength = 700;
constexpr Field kCode{0, 11}, kName{11, 40}, kShortName{51, 40};
constexpr Field kStreet{91, 40}, kNumber{131, 10}, kComplement{141, 20}, kCity{161, 30};
constexpr Field kPostCode{191, 9}, kDistrict{200, 30}, kState{230, 2};
constexpr Field kTaxNumber{250, 18}, kStateNumber{268, 18};
constexpr Field kPhone1{290, 30}, kPhone2{320, 23}, kEmail{350, 50};
constexpr Field kRegime{400, 2};        // its first 2 characters are kept at 633
constexpr Field kAccountant{430, 15};   // kept at 613
constexpr Field kNotes{445, 80};        // table 2: kept at 512
constexpr Field kCreditLimit{525, 8};   // table 2: at 592, moved to 268 by version 3.01
constexpr Field kRateCode{545, 2};      // the register only: recoded at 631
constexpr std::int32_t kDeleted = 699;  // the register only
}  // namespace reg

// "f0dp.dat": a department of a company.
namespace f0dp {
constexpr std::int32_t kLength = 51;
constexpr Field kName{0, 40}, kCode{41, 10};
}  // namespace f0dp

// "f3.dat": a fiscal printer (ECF) of a company.
namespace f3 {
constexpr std::int32_t kLength = 142;
constexpr Field kCode{0, 10}, kNumber{11, 9}, kModel{21, 20}, kSerial{41, 20};
constexpr std::int32_t kDeleted = 141;
}  // namespace f3

// "group00.dat" (summary accounts) and "group01.dat" (the accounts entries are posted to).
namespace group {
constexpr std::int32_t kLength = 52;
constexpr Field kCode{0, 11}, kName{11, 40};
}  // namespace group

// Table 1, "data\<code>.dat": the ledger, split by year into L01<year> and then into L23.
namespace l01 {
using L = L01Layout;
constexpr std::int32_t kLength = kL01Record;
constexpr Field kDate{L::kDate, L::kDateWidth}, kFlag{L::kFlag, L::kFlagWidth};
constexpr Field kAccount{L::kAccount, L::kAccountWidth};
constexpr Field kDocument{L::kDocument, L::kDocumentWidth};
constexpr Field kHistory{L::kHistory, L::kHistoryWidth};
constexpr Field kDebit{L::kDebit, L::kAmountWidth}, kCredit{L::kCredit, L::kAmountWidth};
constexpr Field kCounterpart{L::kCounterpart, L::kCounterpartWidth};
constexpr Field kBranch{L::kBranch, L::kBranchWidth};
constexpr Field kCostAccount{L::kCostCentre, L::kCostCentreWidth};
constexpr Field kLot{L::kLot, L::kLotWidth}, kTail{L::kTail, L::kTailWidth - 1};
constexpr std::int32_t kDeleted = L::kDeleted;
}  // namespace l01

// Tables 2 and 3, "daen2\<code>2.dat" (purchases) and "dasa2\<code>2.dat" (invoices): the
// invoice ledger that becomes L03, then L03<year>, then L26<year>. The comments give the
// L26 offset each field reaches.
namespace l03 {
using L = L03Layout;
constexpr std::int32_t kLength = kL03Record;
constexpr std::int32_t kAmount = L::kAmountWidth, kShort = L::kShortAmountWidth;
constexpr Field kDate{L::kDate, L::kDateWidth}, kIssued{L::kIssued, L::kIssuedWidth};  // 0, 11
constexpr Field kModel{L::kModel, L::kModelWidth};                                     // 21
constexpr Field kSubseries{L::kSubseries, L::kSubseriesWidth};                         // 24
constexpr Field kSeries{L::kSeries, L::kSeriesWidth};                                  // 30
constexpr Field kNumber{L::kNumber, L::kNumberWidth};                                  // 36
constexpr Field kDocument{L::kDocument, L::kDocumentWidth};                            // 46
constexpr Field kTicket{L::kTicket, L::kTicketWidth}, kCode{L::kCode, L::kCodeWidth};  // 52, 58
constexpr Field kState{L::kState, 1}, kOrigin{L::kOrigin, 1};                          // 61, 62
constexpr Field kIssuer{L::kIssuer, L::kIssuerWidth};                                  // 63
constexpr Field kOperation{L::kOperation, L::kOperationWidth};                         // 73
constexpr Field kClass{L::kClass, 1}, kKind{L::kKind, 1};                              // 78, 10
constexpr Field kText{L::kText, L::kTextWidth};                                        // 81
constexpr Field kTotal{L::kTotal, kAmount}, kBase4{L::kBase4, kAmount};                // 240, 258
constexpr Field kRate4{L::kRate4, L::kRateWidth}, kTax1{L::kTax1, kAmount};            // 276, 281
constexpr Field kInsurance{L::kInsurance, kAmount};                                    // 299
constexpr Field kFreight{L::kFreight, kAmount};                                        // 317
constexpr Field kThirdBase{L::kThirdBase, kAmount}, kTax2{L::kTax2, kAmount};          // 335, 358
constexpr Field kSecondBase{L::kSecondBase, kShort}, kOther{L::kOther, kShort};        // 412, 430
constexpr Field kItem1{L::kItem1, kShort}, kItem2{L::kItem2, kShort};                  // 448, 466
constexpr Field kItem3{L::kItem3, kShort}, kItem7{L::kItem7, L::kItem7Width};          // 484, 502
constexpr std::int32_t kDeleted = L::kDeleted;
}  // namespace l03

// Table 12, "L12\<code>A<year>.dat": the complement of an invoice of table 3 (freight, a
// tax difference), kind "3" of L26; its key fields are those of the invoice it completes.
namespace l12 {
using L = L12Layout;
constexpr std::int32_t kLength = kL12Record;
constexpr Field kTotal{L::kTotal, L03Layout::kAmountWidth};
constexpr Field kCode{L::kCode, L::kCodeWidth}, kSubseries{L::kSubseries, L::kSubseriesWidth};
constexpr Field kReference{L::kReference, L::kReferenceWidth};
constexpr Field kDocument{L::kDocument, L::kDocumentWidth};
constexpr std::int32_t kDeleted = L::kDeleted;
}  // namespace l12

// Tables 4 and 5 ("dac1\<code>1.dat", "dac2\<code>2.dat", later G18 and G19) and tables 8
// and 9 (L08, L09): 227 characters, widened to 260 by version 3.20.
namespace wide {
constexpr std::int32_t kLength = kL08Record;
constexpr Field kKey{0, 10}, kText{10, 56}, kFlag{66, 1}, kName{67, 66};
constexpr Field kValue1{138, 5}, kValue2{148, 5};
constexpr std::int32_t kDeleted = L08Layout::kDeleted;
}  // namespace wide

// Table 6, "dinv\<code>1.dat" (inventory, dropped by rebuild-registers) and "G02\<code>.dat"
// (dropped too).
namespace l06 {
constexpr std::int32_t kLength = 120;
constexpr Field kCode{0, 14}, kName{14, 40}, kQuantity{54, 12}, kValue{66, 18};
}  // namespace l06
namespace g02 {
constexpr std::int32_t kLength = 100;
constexpr Field kCode{0, 6}, kName{6, 40};
}  // namespace g02

// Table 7, "L07\<code>.dat": cash movements, split by year and then into L23.
namespace l07 {
using L = L07Layout;
constexpr std::int32_t kLength = kL07Record;
constexpr Field kDate{L::kDate, L::kDateWidth}, kBatch{L::kDropped1, L::kDropped1Width};
constexpr Field kDocument{L::kDocument, L::kDocumentWidth};
constexpr Field kAccount{L::kAccount, L::kAccountWidth};
constexpr Field kCounterAccount{L::kCounterpart, L::kCounterpartWidth};
constexpr Field kHistory{L::kHistory, L::kHistoryWidth}, kAmount{L::kAmount, L::kAmountWidth};
constexpr Field kTail{L::kTail, L::kTailWidth - 1};
constexpr std::int32_t kDeleted = L::kDeleted;
}  // namespace l07

// Tables 10 and 11, "L10\<code>-<year>.dat" and "L11\<code>A<year>.dat": a month a record,
// seventeen columns of amounts and a tail.
namespace l10 {
using L = MonthlyLayout;
constexpr std::int32_t kLength = kMonthlyRecord;
constexpr Field kMonth{L::kMonth, L::kMonthWidth}, kTail{L::kTail, L::kTailWidth};
constexpr std::int32_t kColumns = L::kColumns, kFirstColumn = L::kFirstColumn;
constexpr std::int32_t kColumnWidth = L::kColumnWidth;
}  // namespace l10

// Tables 13 and 14, "<code>\L13<year>.DAT" and "<code>\L14<year>.DAT": opening and closing
// balances of the accounts, kinds "A" and "E" of L23.
namespace l13 {
using L = L13Layout;
constexpr std::int32_t kLength = kL13Record;
constexpr std::int32_t kLotWidth = 5;  // the reference: a lot, then an account
constexpr Field kDate{L::kDate, L::kDateWidth}, kLot{L::kReference, kLotWidth};
constexpr Field kAccount{L::kReference + kLotWidth, L::kReferenceWidth - kLotWidth};
constexpr Field kAmount{L::kAmount, L::kAmountWidth}, kText{L::kText, L::kTextWidth};
constexpr std::int32_t kDeleted = L::kDeleted;
}  // namespace l13
namespace l14 {
constexpr Field kAccount{L13Layout::kReference, L13Layout::kReferenceWidth};
}  // namespace l14

// Table 15, "<code>\L15.DAT": the products, rebuilt as L15B (719) and renamed G15. A field
// at 107-302 or 307-505 lands 12 characters further in G15.
namespace l15 {
constexpr std::int32_t kLength = 506;
constexpr Field kCode{0, 11}, kName{11, 40}, kSold{51, 1}, kBarcode{52, 14}, kLongName{107, 94};
constexpr Field kTaxed{218, 1}, kPrice{219, 18}, kPrice2{240, 18}, kCost{261, 18};
constexpr Field kRateIndex{303, 2}, kMinimum{307, 17}, kStock{324, 17}, kReserved{341, 17};
constexpr Field kRate1{358, 5}, kRate2{364, 5}, kUnit{370, 3}, kTaxCode{373, 3};
constexpr Field kGroup{382, 6}, kNcm{388, 9}, kSupplier{398, 37}, kRate3{435, 5};
}  // namespace l15

// Table 16, "<code>\L16.DAT": sixteen pairs of rates, 20 characters each.
namespace l16 {
constexpr std::int32_t kEntry = kRateEntry;
constexpr std::int32_t kFirstWidth = RateEntryLayout::kFirstWidth;
constexpr std::int32_t kGap = RateEntryLayout::kGapWidth;
constexpr std::int32_t kSecondWidth = RateEntryLayout::kSecondWidth;
static_assert(kFirstWidth + kGap + kSecondWidth == kEntry);
}  // namespace l16

// Table 17, "<code>\L17<year>.DAT": service invoices, kind "2" of L26.
namespace l17 {
using L = L17Layout;
constexpr std::int32_t kLength = kL17Record;
constexpr Field kDate{L::kDate, L::kDateWidth}, kService{L::kService, L::kServiceWidth};
constexpr Field kText{L::kText, L::kTextWidth}, kBase{L::kBase, L::kBaseWidth};
constexpr Field kRate{L::kRate, L::kRateWidth}, kCustomer{L::kCustomer, L::kCustomerWidth};
}  // namespace l17

// Table 24, "<code>\G24.DAT": bank accounts, renamed G07 and widened to G07R0.
namespace g24 {
constexpr std::int32_t kLength = kG07Record;
constexpr Field kBank{0, 40}, kBranch{40, 10}, kAccount{50, 15}, kHolder{65, 40}, kCity{105, 30};
constexpr std::int32_t kDeleted = G07Layout::kDeleted;
}  // namespace g24

// "F20.DAT" and "F21.DAT": the shared chart before it was numbered.
namespace chart {
using L = OldChartLayout;
constexpr std::int32_t kLength = kChartRecordLength;
constexpr Field kCode{L::kCode, L::kCodeWidth}, kText{L::kText, L::kPosted - L::kText};
constexpr Field kPosted{L::kPosted, 1}, kRest20{L::kRest20, L::kRest20Width};
constexpr Field kRest21{L::kRest21, L::kRest21Width};
constexpr std::int32_t kDeleted = L::kDeleted;
}  // namespace chart

// "R63\<year>.DAT": the product items of the invoices of every company.
namespace r63 {
using L = ProductLayout;
constexpr std::int32_t kLength = kProductRecord;
constexpr Field kCompany{L::kCompany, L::kCompanyWidth}, kInvoice{L::kInvoice, L::kInvoiceWidth};
constexpr Field kProduct{L::kCode, L::kCodeWidth}, kDigit{L::kKind, 1}, kMarker{L::kMarker, 1};
constexpr Field kOperation{L::kOperation, L::kOperationWidth}, kType{L::kType, L::kTypeWidth};
constexpr Field kCodes{L::kCode1, 3 * L::kCodeWidthShort}, kQuantity{L::kText, L::kTextWidth};
constexpr Field kValue{L::kValue, L::kValueWidth};
constexpr Field kRate1{L::kRate1, L::kRateWidth}, kShare1{L::kShare1, L::kShareWidth};
constexpr Field kRate2{L::kRate2, L::kRateWidth}, kShare2{L::kShare2, L::kShareWidth};
constexpr Field kRate3{L::kRate3, L::kRateWidth};
constexpr Field kFixed1{L::kFixed1, L::kFixedWidth}, kFixed2{L::kFixed2, L::kFixedWidth};
constexpr std::int32_t kDeleted = L::kDeleted;
}  // namespace r63

// "F08.DAT" (1000, as F08R1.DAT keeps it) and "F25R0.DAT" (557).
namespace f08 {
constexpr std::int32_t kLength = kTable08RecordLength;
constexpr Field kCode{PhoneFields::kCode, PhoneFields::kCodeWidth}, kName{10, 40};
constexpr Field kAddress{50, 40}, kCity{90, 30}, kState{120, 2}, kPostCode{122, 9};
constexpr Field kTaxNumber{131, 18};
constexpr Field kPhone1{PhoneFields::kPhone1, PhoneFields::kPhone1Width};
constexpr Field kPhone2{PhoneFields::kPhone2, PhoneFields::kPhone2Width};
constexpr Field kContact{354, 18};
}  // namespace f08
namespace f25 {
constexpr std::int32_t kLength = 557;
constexpr Field kCode{0, 10}, kName{10, 40};
}  // namespace f25

constexpr std::int32_t kOldCounterLength = 11;  // "CONFIGA.DAT"

// The chart of accounts of the group files, F20.DAT and F21.DAT; the ledgers post to the
// accounts of the second list.
struct Account {
  std::string_view code, name;
};
constexpr Account kSummaryAccounts[] = {{"1", "ATIVO"},
                                        {"11", "ATIVO CIRCULANTE"},
                                        {"111", "DISPONÍVEL"},
                                        {"112", "CLIENTES"},
                                        {"113", "ESTOQUES"},
                                        {"2", "PASSIVO"},
                                        {"21", "PASSIVO CIRCULANTE"},
                                        {"211", "FORNECEDORES"},
                                        {"212", "OBRIGAÇÕES FISCAIS"},
                                        {"3", "RECEITAS"},
                                        {"31", "RECEITA BRUTA"},
                                        {"4", "DESPESAS"},
                                        {"41", "DESPESAS OPERACIONAIS"}};
constexpr Account kPostedAccounts[] = {{"11101", "Caixa"},
                                       {"11102", "Banco do Brasil"},
                                       {"11103", "Banco Itaú"},
                                       {"11104", "Caixa Econômica Federal"},
                                       {"11201", "Clientes diversos"},
                                       {"11301", "Mercadorias para revenda"},
                                       {"21101", "Fornecedores diversos"},
                                       {"21201", "ICMS a recolher"},
                                       {"21202", "IPI a recolher"},
                                       {"21203", "ISS a recolher"},
                                       {"31101", "Venda de mercadorias"},
                                       {"31102", "Prestação de serviços"},
                                       {"41101", "Salários e ordenados"},
                                       {"41102", "Aluguel"},
                                       {"41103", "Energia elétrica"},
                                       {"41104", "Telefone"},
                                       {"41105", "Material de escritório"},
                                       {"41106", "Fretes e carretos"}};

constexpr std::string_view kProducts[] = {
    "Arroz tipo 1 5kg",      "Feijão carioca 1kg",     "Óleo de soja 900ml", "Café torrado 500g",
    "Açúcar cristal 5kg",    "Parafuso sextavado 1/4", "Tinta acrílica 18l", "Cimento CP II 50kg",
    "Caderno universitário", "Caneta esferográfica",   "Pneu 175/70 R13",    "Filtro de óleo",
    "Camiseta algodão M",    "Calça jeans 42",         "Sapato social 40",   "Detergente 500ml",
    "Sabão em pó 1kg",       "Leite integral 1l",      "Queijo muçarela kg", "Pão francês kg",
    "Lâmpada 60W",           "Disjuntor 20A",          "Mangueira 1/2 50m",  "Vassoura de pêlo"};
constexpr std::string_view kDepartments[] = {
    "Administração", "Vendas",        "Compras",      "Financeiro",       "Produção",
    "Expedição",     "Contabilidade", "Almoxarifado", "Recursos Humanos", "Manutenção"};
constexpr std::string_view kPrinters[] = {"BEMATECH MP-20 FI II", "DARUMA FS-345", "SWEDA IF ST100",
                                          "EPSON TM-T88 FB II", "ELGIN X5 FISCAL"};
constexpr std::string_view kBanks[] = {"Banco do Brasil S.A.", "Banco Itaú S.A.",
                                       "Banco Bradesco S.A.",  "Caixa Econômica Federal",
                                       "Banco Santander",      "Banrisul"};
constexpr std::string_view kComplements[] = {"Sala 12", "Fundos",   "Loja 3",  "Apto 101",
                                             "Bloco B", "2º andar", "Galpão 4"};
constexpr std::string_view kDistricts[] = {"Centro",    "Vila Nova",     "Jardim América",
                                           "Boa Vista", "São Cristóvão", "Industrial"};
constexpr std::string_view kReferences[] = {"FRETE", "SEGURO", "COMPL.ICMS", "DESP.ACESS",
                                            "COMPL.PREC"};
constexpr std::string_view kServices[] = {
    "Manutenção de equipamentos", "Consultoria contábil",  "Instalação elétrica",
    "Transporte de carga",        "Limpeza e conservação", "Desenvolvimento de sistemas",
    "Assistência técnica",        "Treinamento de pessoal"};

// The sixteen rate pairs of table 16: ICMS within the state and between states.
struct RatePair {
  std::string_view first, second;
};
constexpr RatePair kRatePairs[] = {
    {"17,00", "12,00"}, {"18,00", "12,00"}, {"12,00", "7,00"}, {"7,00", "4,00"},
    {"25,00", "12,00"}, {"0,00", "0,00"},   {"4,00", "4,00"},  {"19,00", "12,00"},
    {"17,50", "12,00"}, {"20,00", "7,00"},  {"8,40", "4,00"},  {"3,00", "3,00"},
    {"12,00", "12,00"}, {"27,00", "12,00"}, {"5,00", "5,00"},  {"9,00", "7,00"},
};
static_assert(std::size(kRatePairs) == 16);
constexpr std::string_view kIcmsRates[] = {"18,00", "17,00", "12,00", "7,00"};

// Files of older versions that remove-obsolete deletes or moves away.
constexpr std::string_view kObsoleteFiles[] = {
    "check01.dat", "check02.dat", "check03.dat", "check04.dat", "check.exe",   "CONF0.SAT",
    "confd00.dat", "config2.dat", "config1.dat", "confd01.dat", "C01.DAT",     "C10.DAT",
    "F10.DAT",     "F22.DAT",     "F25.DAT",     "fguia1.dat",  "his01.dat",   "resp.dat",
    "pmabe.txt",   "pmenc.txt",   "pmovo01.txt", "pmovo02.txt", "pmovo03.txt", "pmovo04.txt",
    "pmm01.txt",   "pmm02.txt",   "pmm03.txt",   "Pmovo.hlp",   "Pmovo.gid"};
constexpr std::string_view kObsoleteFolders[] = {"daen", "dasa",   "cfeq",
                                                 "cfst", "valida", "sintegra"};
constexpr std::string_view kReportFiles[] = {"R02\\REL001.DAT", "R02\\REL002.DAT"};

// The type folders that import-old-files writes into; it creates no folder itself.
constexpr std::string_view kImportTargets[] = {"G01", "G04", "G06", "L01", "L02",
                                               "L03", "L04", "L05", "L06"};
// The type folders of the older layout that hold one file per company.
constexpr std::string_view kTypeFolders[] = {"data", "daen2", "dasa2", "dac1", "dac2",
                                             "dinv", "G02",   "L07",   "L08",  "L09",
                                             "L10",  "L11",   "L12"};

struct Day {
  int year, month, day;
};

std::string DateText(Day d) { return Format("%02d/%02d/%04d", d.day, d.month, d.year); }

// A day some days before d, in the same year.
Day DaysBefore(Day d, int days) {
  int index = (d.month - 1) * 28 + d.day - 1 - days;
  if (index < 0) index = 0;
  return {d.year, index / 28 + 1, index % 28 + 1};
}

double Cents(Random& r, int lo_reais, int hi_reais) {
  return r.Between(lo_reais * 100, hi_reais * 100) / 100.0;
}

std::string Money(double value) { return ValueToText(value, 2); }

// A count of records of a table that holds about one in every `per` of the sample's
// records; none when the sample asks for none.
int Count(int records, int per) { return records <= 0 ? 0 : records / per + 1; }

// Telephone texts as the older layouts kept them: the first of at most 30 characters, the
// second of at most 23.
std::pair<std::string, std::string> OldPhones(Random& r, int area) {
  switch (r.Below(6)) {
    case 0:
      return {sample::Landline(r, area), ""};
    case 1:
      return {sample::Mobile(r, area), ""};
    case 2:
      return {sample::Landline(r, area) + " / " + sample::Extension(r), sample::Fax(r, area)};
    case 3:
      return {sample::Landline(r, area), sample::Mobile(r, area)};
    case 4:
      return {"Tel. " + sample::Mobile(r, area), sample::Contact(r)};
    default:
      return {"", ""};
  }
}

class OldestWriter {
 public:
  OldestWriter(platform::FileSystem& fs, const SampleOptions& options)
      : fs_(fs), options_(options) {
    first_year_ = options.first_year;
    last_year_ = std::max(options.first_year, options.last_year);
  }

  SampleResult Write() {
    BuildCompanies();
    for (std::string_view folder : kImportTargets) MakeFolder(folder);
    for (std::string_view folder : kTypeFolders) MakeFolder(folder);
    WriteRegister();
    WritePartners("f1.dat", kCustomerStream, false);
    WritePartners("f2.dat", kSupplierStream, true);
    WriteGroups();
    WriteSharedChart();
    for (std::size_t c = 0; c < companies_.size() && result_.ok; ++c) WriteCompany(c);
    WriteCollected();
    WriteProductItems();
    WritePhoneTable();
    WriteAccountsTable();
    WriteOldCounters();
    WriteLeftovers();
    return result_;
  }

 private:
  struct Company {
    std::string code;
    bool deleted = false;
    bool has_tables = true;
  };
  // A live invoice of table 3: its year, its place among the live invoices of that year
  // (the record number of its header in the fiscal file of step 3.64) and its record.
  struct Invoice {
    int year, number;
    double goods;
    std::string record;
  };
  using Yearly = std::map<int, std::string>;  // the records of each year's file

  // As in the current sample: the live companies, with two deleted ones among them (the
  // third record and the last). The last has left no tables; a company registered without
  // any tables yet is one of the live ones.
  void BuildCompanies() {
    int live = std::max(options_.companies, 0);
    int total = live + 2;
    int first_deleted = std::min(2, live);
    for (int i = 0; i < total; ++i) {
      Company company;
      company.code = Format("%04d", i + 1);
      company.deleted = i == first_deleted || i == total - 1;
      company.has_tables = i != total - 1;
      companies_.push_back(company);
    }
    if (options_.gaps && live >= 4)
      companies_[static_cast<std::size_t>(total - 2)].has_tables = false;
  }

  void MakeFolder(std::string_view path) {
    auto attributes = fs_.Attributes(path);
    if ((attributes && (*attributes & platform::kDirectory) != 0) || fs_.MakeFolder(path)) return;
    if (result_.ok) {
      result_.ok = false;
      result_.error = Format("não foi possível criar a pasta %s", path);
    }
  }

  // Writes a whole file of records of one length.
  void WriteFile(const std::string& path, std::int32_t length, const std::string& data) {
    TableWriter writer(fs_, path, length, static_cast<int>(data.size() / length), result_);
    writer.Add(data);
    writer.Finish();
  }

  void WriteYearly(const Yearly& files, std::string_view format, const std::string& code,
                   std::int32_t length) {
    for (const auto& [year, data] : files) WriteFile(Format(format, code, year), length, data);
  }

  // The day of record i of n of a table whose records run in date order over the years of
  // the sample (months of 28 days).
  Day DayOf(Random& r, std::int64_t i, std::int64_t n) {
    const std::int64_t slots = std::int64_t{last_year_ - first_year_ + 1} * 12 * 28;
    const std::int64_t width = std::max<std::int64_t>(1, slots / std::max<std::int64_t>(n, 1));
    std::int64_t slot =
        std::min(slots - 1, i * slots / std::max<std::int64_t>(n, 1) +
                                r.Below(static_cast<int>(std::min<std::int64_t>(width, 1 << 30))));
    return {first_year_ + static_cast<int>(slot / (12 * 28)), static_cast<int>(slot / 28 % 12) + 1,
            static_cast<int>(slot % 28) + 1};
  }

  std::string_view PostedAccount(Random& r) {
    return kPostedAccounts[r.Below(static_cast<int>(std::size(kPostedAccounts)))].code;
  }

  // F0.DAT: the older company register, the deleted companies marked at 699.
  void WriteRegister() {
    std::string data;
    for (std::size_t n = 0; n < companies_.size(); ++n) {
      Random r = StreamFor(options_.seed, kRegisterStream, n);
      const City& city = PickCity(r);
      std::string record(static_cast<std::size_t>(reg::kLength), ' ');
      std::string business = BusinessName(r);
      Put(record, reg::kCode, companies_[n].code);
      Put(record, reg::kName, business);
      Put(record, reg::kShortName, business.substr(0, business.rfind(' ')));
      PutAddress(record, r, city);
      Put(record, reg::kTaxNumber, sample::TaxNumber(r));
      Put(record, reg::kStateNumber,
          Format("%03d.%03d.%03d.%03d", r.Below(1000), r.Below(1000), r.Below(1000),
                 r.Below(1000)));
      auto [phone1, phone2] = OldPhones(r, city.area_code);
      Put(record, reg::kPhone1, phone1);
      Put(record, reg::kPhone2, phone2);
      Put(record, reg::kEmail, Format("contato%s@livrana-exemplo.com.br", companies_[n].code));
      static constexpr std::string_view kRegimes[] = {"SN", "LP", "LR"};
      Put(record, reg::kRegime, r.Pick(kRegimes));
      Put(record, reg::kAccountant, PersonName(r));
      // Old codes 3 and 4 become the rate codes 30 and 40 of step 3.64; the others too
      // occur.
      static constexpr std::string_view kRateCodes[] = {"03", "04", "03", "04", "02",
                                                        "01", "20", "00", "05"};
      Put(record, reg::kRateCode, r.Pick(kRateCodes));
      record[reg::kDeleted] = companies_[n].deleted ? '+' : ' ';
      data += record;
    }
    WriteFile("F0.DAT", reg::kLength, data);
  }

  static void PutAddress(std::string& record, Random& r, const City& city) {
    Put(record, reg::kStreet, sample::Street(r));
    Put(record, reg::kNumber, Format("%d", r.Between(1, 4999)));
    if (r.Percent(60)) Put(record, reg::kComplement, r.Pick(kComplements));
    Put(record, reg::kCity, city.name);
    Put(record, reg::kPostCode, Format("%05d-%03d", r.Below(100000), r.Below(1000)));
    Put(record, reg::kDistrict, r.Pick(kDistricts));
    Put(record, reg::kState, city.state);
  }

  // "f1.dat" (customers) and "f2.dat" (suppliers, with a credit limit that version 3.01
  // moves when it is above zero).
  void WritePartners(const std::string& name, Stream stream, bool suppliers) {
    std::string data;
    for (int n = 0; n < options_.phone_records; ++n) {
      Random r = StreamFor(options_.seed, stream, static_cast<std::uint64_t>(n));
      const City& city = PickCity(r);
      std::string record(static_cast<std::size_t>(reg::kLength), ' ');
      Put(record, reg::kCode, Format("%06d", n + 1));
      bool business = suppliers || r.Percent(50);
      Put(record, reg::kName, business ? BusinessName(r) : PersonName(r));
      Put(record, reg::kShortName, PersonName(r));
      PutAddress(record, r, city);
      Put(record, reg::kTaxNumber, sample::TaxNumber(r));
      auto [phone1, phone2] = OldPhones(r, city.area_code);
      Put(record, reg::kPhone1, phone1);
      Put(record, reg::kPhone2, phone2);
      if (r.Percent(40)) Put(record, reg::kNotes, "Entregar em horário comercial");
      if (suppliers && r.Percent(70)) Put(record, reg::kCreditLimit, Money(r.Between(1, 99) * 100));
      data += record;
    }
    WriteFile(name, reg::kLength, data);
  }

  // "group00.dat" and "group01.dat": the chart of accounts that every company of the older
  // register receives as G01.
  void WriteGroups() {
    auto file = [this](const std::string& name, const auto& accounts) {
      std::string data;
      for (const Account& account : accounts) {
        std::string record(static_cast<std::size_t>(group::kLength), ' ');
        Put(record, group::kCode, account.code);
        Put(record, group::kName, account.name);
        data += record;
      }
      WriteFile(name, group::kLength, data);
    };
    file("group00.dat", kSummaryAccounts);
    file("group01.dat", kPostedAccounts);
  }

  // F20.DAT and F21.DAT: the shared chart, one account deleted.
  void WriteSharedChart() {
    std::string f20, f21;
    auto add = [](std::string& data, const Account& account, bool posted, bool rest20) {
      std::string record(static_cast<std::size_t>(chart::kLength), ' ');
      Put(record, chart::kCode, account.code);
      Put(record, chart::kText, account.name);
      record[chart::kPosted.offset] = posted ? '1' : '0';
      if (rest20) {
        Put(record, chart::kRest20, account.code[0] <= '2' ? "Patrimonial" : "Resultado");
      } else {
        Put(record, chart::kRest21, "001");
      }
      data += record;
    };
    for (const Account& account : kSummaryAccounts) add(f20, account, false, true);
    for (const Account& account : kPostedAccounts) {
      add(f20, account, true, true);
      add(f21, account, true, false);
    }
    f20[static_cast<std::size_t>(chart::kLength) * 3 + chart::kDeleted] = '+';
    WriteFile("F20.DAT", chart::kLength, f20);
    WriteFile("F21.DAT", chart::kLength, f21);
  }

  void WriteCompany(std::size_t c) {
    const Company& company = companies_[c];
    if (!company.has_tables) return;
    const std::string& code = company.code;
    MakeFolder(code);
    AddDepartments(c);
    AddPrinters(c);
    WriteLedger(c);
    std::vector<Invoice> invoices = WriteInvoices(c);
    WritePurchases(c);
    WriteWide(Format("dac1\\%s1.dat", code), kHistory18Stream, c, Count(options_.records, 4),
              false);
    WriteWide(Format("dac2\\%s2.dat", code), kHistory19Stream, c, Count(options_.records, 4),
              false);
    WriteWide(Format("L08\\%s.dat", code), kL08Stream, c, Count(options_.records, 2), true);
    WriteWide(Format("L09\\%s.dat", code), kL09Stream, c, Count(options_.records, 2), true);
    WriteInventory(c);
    WriteMovements(c);
    WriteMonthly(c, "L10\\%s-%04d.dat", kL10Stream);
    WriteMonthly(c, "L11\\%sA%04d.dat", kL11Stream);
    WriteComplements(c, invoices);
    if (!company.deleted) AddProductItems(c, invoices);
    WriteBalances(c);
    WriteProducts(c);
    WriteRates(c);
    WriteServices(c);
    WriteBanks(c);
  }

  // f0dp.dat: the departments of each company (G04).
  void AddDepartments(std::size_t c) {
    Random r = StreamFor(options_.seed, kDepartmentStream, c);
    int count = r.Between(2, 5);
    int start = r.Below(static_cast<int>(std::size(kDepartments)));
    for (int k = 0; k < count; ++k) {
      std::string record(static_cast<std::size_t>(f0dp::kLength), ' ');
      Put(record, f0dp::kName,
          kDepartments[static_cast<std::size_t>(start + k) % std::size(kDepartments)]);
      Put(record, f0dp::kCode, companies_[c].code);
      departments_ += record;
    }
  }

  // f3.dat: the fiscal printers of each company (G06, then F19.DAT); one taken out of use.
  void AddPrinters(std::size_t c) {
    Random r = StreamFor(options_.seed, kEcfStream, c);
    int count = r.Between(1, 3);
    for (int k = 0; k < count; ++k) {
      std::string record(static_cast<std::size_t>(f3::kLength), ' ');
      Put(record, f3::kCode, companies_[c].code);
      Put(record, f3::kNumber, Format("%03d", k + 1));
      Put(record, f3::kModel, r.Pick(kPrinters));
      Put(record, f3::kSerial, Format("BE%010d", r.Below(1000000000)));
      if (r.Percent(10)) record[f3::kDeleted] = '+';
      printers_ += record;
    }
  }

  // Table 1: the ledger. Each record posts an amount to one of the accounts of the chart;
  // now and then one is deleted, and one in a hundred has lost its date (split-ledgers
  // drops it, its safety copy keeps it).
  void WriteLedger(std::size_t c) {
    Random r = StreamFor(options_.seed, kLedgerStream, c);
    const int n = options_.records;
    if (n <= 0) return;
    TableWriter writer(fs_, Format("data\\%s.dat", companies_[c].code), l01::kLength, n, result_);
    int document = r.Between(1, 50000);
    for (int i = 0; i < n; ++i) {
      std::string record(static_cast<std::size_t>(l01::kLength), ' ');
      Day day = DayOf(r, i, n);
      if (!r.Percent(1)) Put(record, l01::kDate, DateText(day));
      static constexpr std::string_view kFlags[] = {" ", "S", "N"};
      Put(record, l01::kFlag, r.Pick(kFlags));
      Put(record, l01::kAccount, PostedAccount(r));
      document += r.Between(1, 5);
      bool received = r.Percent(50);
      Put(record, l01::kDocument, Format(received ? "REC %05d" : "NF %06d", document % 100000));
      Put(record, l01::kHistory,
          received ? "Recebimento de " + PersonName(r) : "Pagamento a " + BusinessName(r));
      std::string amount = Money(Cents(r, 5, 20000));
      Put(record, received ? l01::kCredit : l01::kDebit, amount);
      if (r.Percent(30)) Put(record, received ? l01::kDebit : l01::kCredit, "0,00");
      Put(record, l01::kCounterpart, PostedAccount(r));
      Put(record, l01::kBranch, "01");
      Put(record, l01::kCostAccount, PostedAccount(r));
      Put(record, l01::kLot, Format("%05d", i / 20 + 1));
      Put(record, l01::kTail, PersonName(r));
      if (r.Percent(2)) record[l01::kDeleted] = '+';
      writer.Add(record);
    }
    writer.Finish();
  }

  // One invoice of tables 2 and 3 with its items, taxes and totals.
  std::string InvoiceRecord(Random& r, Day day, bool sale, int number, double& goods) {
    std::string record(static_cast<std::size_t>(l03::kLength), ' ');
    Put(record, l03::kDate, DateText(day));
    // Issued mostly some days before it was entered (step 3.60 puts those dates in order),
    // sometimes the same day, and an entry of late December now and then in January of the
    // next year (step 3.64 leaves its header out).
    Day issued = day;
    int pick = r.Below(100);
    if (!sale && day.month == 12 && pick < 40) {
      issued = {day.year + 1, 1, r.Between(1, 10)};
    } else if (pick < 75) {
      issued = DaysBefore(day, r.Between(1, 6));
    }
    Put(record, l03::kIssued, DateText(issued));
    // Model 2 series D, the consumer sale, is the text kind of step 3.64.
    static constexpr std::string_view kSaleModels[] = {"01", "01", "01", "1A", "2D", "2D"};
    static constexpr std::string_view kEntryModels[] = {"01", "55"};
    Put(record, l03::kModel, sale ? r.Pick(kSaleModels) : r.Pick(kEntryModels));
    const bool text_kind = Get(record, l03::kModel) == "2D";
    static constexpr std::string_view kSubseriesPool[] = {"U", "1", ""};
    Put(record, l03::kSubseries, r.Pick(kSubseriesPool));
    static constexpr std::string_view kSeriesPool[] = {"1", "U", "A1"};
    Put(record, l03::kSeries, r.Pick(kSeriesPool));
    Put(record, l03::kNumber, Format("%06d", number));
    Put(record, l03::kDocument, sale ? "NF" : "NFE");
    if (r.Percent(text_kind ? 90 : 30))
      Put(record, l03::kTicket, Format("%06d", r.Between(1, 999999)));
    Put(record, l03::kCode, "01");
    static constexpr std::string_view kStates[] = {"0", "0", "0", "1", "1",
                                                   "1", "2", "2", "X", " "};
    Put(record, l03::kState, r.Pick(kStates));
    static constexpr std::string_view kOrigins[] = {"S", "N", "S", "N", "s", " "};
    Put(record, l03::kOrigin, r.Pick(kOrigins));
    Put(record, l03::kIssuer, Format("%010d", r.Between(1, 999999)));
    static constexpr std::string_view kSales[] = {"5102", "5405", "6102", "5101", "5933"};
    static constexpr std::string_view kEntries[] = {"1102", "2102", "1403", "5102"};
    Put(record, l03::kOperation, sale ? r.Pick(kSales) : r.Pick(kEntries));
    Put(record, l03::kClass, Format("%d", r.Percent(85) ? r.Below(8) : r.Between(8, 9)));
    static constexpr std::string_view kSaleKinds[] = {"1", "1", "1", "1", "2", "5"};
    Put(record, l03::kKind, sale ? r.Pick(kSaleKinds) : "0");
    if (r.Percent(85)) Put(record, l03::kText, sample::Description(r));

    static constexpr Field kItems[] = {l03::kItem1, l03::kItem2, l03::kItem3};
    goods = 0;
    int items = r.Between(1, 3);
    for (int k = 0; k < items; ++k) {
      double value = Cents(r, 20, 3000);
      goods += value;
      Put(record, kItems[k], Money(value));
    }
    std::string_view rate = r.Pick(kIcmsRates);
    Put(record, l03::kBase4, Money(goods));
    Put(record, l03::kRate4, rate);
    Put(record, l03::kTax1, Money(Round2(goods * TextToValue(rate) / 100)));
    double total = goods;
    if (r.Percent(25)) {
      double ipi = Round2(goods * (r.Percent(50) ? 0.05 : 0.10));
      Put(record, l03::kThirdBase, Money(goods));
      Put(record, l03::kTax2, Money(ipi));
      total += ipi;
    }
    if (r.Percent(20)) Put(record, l03::kSecondBase, Money(goods));
    if (r.Percent(15)) {
      double freight = Cents(r, 10, 300);
      Put(record, l03::kFreight, Money(freight));
      total += freight;
    }
    if (r.Percent(5)) {
      double insurance = Cents(r, 5, 100);
      Put(record, l03::kInsurance, Money(insurance));
      total += insurance;
    }
    if (r.Percent(10)) Put(record, l03::kOther, Money(Cents(r, 1, 50)));
    if (r.Percent(10)) Put(record, l03::kItem7, Money(Cents(r, 1, 99)));
    Put(record, l03::kTotal, Money(total));
    return record;
  }

  // Table 3: the invoices (sales mostly), with three in a hundred deleted. Gives the live
  // sales, which complements and product items refer to.
  std::vector<Invoice> WriteInvoices(std::size_t c) {
    std::vector<Invoice> invoices;
    Random r = StreamFor(options_.seed, kSaleStream, c);
    const int n = options_.records;
    if (n <= 0) return invoices;
    TableWriter writer(fs_, Format("dasa2\\%s2.dat", companies_[c].code), l03::kLength, n, result_);
    std::map<int, int> live_in_year;
    int number = r.Between(1, 5000);
    for (int i = 0; i < n; ++i) {
      Day day = DayOf(r, i, n);
      bool sale = r.Percent(70);
      number += r.Between(1, 3);
      double goods = 0;
      std::string record = InvoiceRecord(r, day, sale, number, goods);
      if (r.Percent(3)) {
        record[l03::kDeleted] = '+';
      } else {
        int place = live_in_year[day.year]++;
        if (sale) invoices.push_back({day.year, place, goods, record});
      }
      writer.Add(record);
    }
    writer.Finish();
    return invoices;
  }

  // Table 2: the purchases, joined to table 3 by rebuild-registers (as entries, kind "0").
  void WritePurchases(std::size_t c) {
    Random r = StreamFor(options_.seed, kPurchaseStream, c);
    const int n = Count(options_.records, 2);
    if (n <= 0) return;
    TableWriter writer(fs_, Format("daen2\\%s2.dat", companies_[c].code), l03::kLength, n, result_);
    int number = r.Between(1, 90000);
    for (int i = 0; i < n; ++i) {
      Day day = DayOf(r, i, n);
      number += r.Between(1, 9);
      double goods = 0;
      std::string record = InvoiceRecord(r, day, false, number, goods);
      // The older form marked entries in several ways; the rebuild makes them all "0".
      static constexpr std::string_view kMarks[] = {"1", "5", "0"};
      Put(record, l03::kKind, r.Pick(kMarks));
      if (r.Percent(3)) record[l03::kDeleted] = '+';
      writer.Add(record);
    }
    writer.Finish();
  }

  // Tables 4 and 5 (keyed by a code) and 8 and 9 (dated): a few with a mark of their own
  // at 66, where the widening puts the table's fill character otherwise.
  void WriteWide(const std::string& path, Stream stream, std::size_t c, int n, bool dated) {
    if (n <= 0) return;
    Random r = StreamFor(options_.seed, stream, c);
    TableWriter writer(fs_, path, wide::kLength, n, result_);
    for (int i = 0; i < n; ++i) {
      std::string record(static_cast<std::size_t>(wide::kLength), ' ');
      Put(record, wide::kKey, dated ? DateText(DayOf(r, i, n)) : Format("%04d", i + 1));
      Put(record, wide::kText, sample::Description(r));
      if (r.Percent(10)) Put(record, wide::kFlag, "X");
      Put(record, wide::kName, r.Percent(50) ? BusinessName(r) : PersonName(r));
      Put(record, wide::kValue1, Money(Cents(r, 0, 99)));
      Put(record, wide::kValue2, Money(Cents(r, 0, 99)));
      if (r.Percent(3)) record[wide::kDeleted] = '+';
      writer.Add(record);
    }
    writer.Finish();
  }

  // Table 6 and G02: tables that the rebuild drops.
  void WriteInventory(std::size_t c) {
    Random r = StreamFor(options_.seed, kInventoryStream, c);
    const int n = Count(options_.records, 4);
    if (n <= 0) return;
    std::string inventory, groups;
    for (int i = 0; i < n; ++i) {
      std::string record(static_cast<std::size_t>(l06::kLength), ' ');
      Put(record, l06::kCode, Format("789%010d", r.Below(1000000000)));
      Put(record, l06::kName, r.Pick(kProducts));
      Put(record, l06::kQuantity, Format("%d,000", r.Between(1, 500)));
      Put(record, l06::kValue, Money(Cents(r, 1, 500)));
      inventory += record;
    }
    for (int i = 0; i < Count(options_.records, 8); ++i) {
      std::string record(static_cast<std::size_t>(g02::kLength), ' ');
      Put(record, g02::kCode, Format("%06d", i + 1));
      Put(record, g02::kName, r.Pick(kProducts));
      groups += record;
    }
    WriteFile(Format("dinv\\%s1.dat", companies_[c].code), l06::kLength, inventory);
    WriteFile(Format("G02\\%s.dat", companies_[c].code), g02::kLength, groups);
  }

  // Table 7: cash movements between two accounts of the chart (one without a counterpart).
  void WriteMovements(std::size_t c) {
    Random r = StreamFor(options_.seed, kMovementStream, c);
    const int n = options_.records;
    if (n <= 0) return;
    TableWriter writer(fs_, Format("L07\\%s.dat", companies_[c].code), l07::kLength, n, result_);
    for (int i = 0; i < n; ++i) {
      std::string record(static_cast<std::size_t>(l07::kLength), ' ');
      Put(record, l07::kDate, DateText(DayOf(r, i, n)));
      Put(record, l07::kBatch, Format("%06d", i / 10 + 1));
      Put(record, l07::kDocument, Format("CH %06d", r.Between(1, 999999)));
      Put(record, l07::kAccount, PostedAccount(r));
      if (r.Percent(90)) Put(record, l07::kCounterAccount, PostedAccount(r));
      Put(record, l07::kHistory, std::string(sample::Description(r)) + " - " + PersonName(r));
      Put(record, l07::kAmount, Money(Cents(r, 1, 50000)));
      Put(record, l07::kTail, BusinessName(r));
      if (r.Percent(2)) record[l07::kDeleted] = '+';
      writer.Add(record);
    }
    writer.Finish();
  }

  // Tables 10 and 11: monthly summaries, in one file per year; more records than months
  // give several summaries of a month, and December is sometimes followed by the closing
  // period 13.
  void WriteMonthly(std::size_t c, std::string_view format, Stream stream) {
    Random r = StreamFor(options_.seed, stream, c);
    const int n = Count(options_.records, 2);
    const std::int64_t months = std::int64_t{last_year_ - first_year_ + 1} * 12;
    Yearly files;
    auto add = [&](int year, int month) {
      std::string record(static_cast<std::size_t>(l10::kLength), ' ');
      Put(record, l10::kMonth, Format("%02d", month));
      for (int j = 0; j < l10::kColumns; ++j) {
        if (r.Percent(20)) continue;
        Put(record, Field{l10::kFirstColumn + j * l10::kColumnWidth, l10::kColumnWidth},
            Money(Cents(r, 0, 20000)));
      }
      Put(record, l10::kTail, Format("Resumo de %02d/%04d - %s", month, year, BusinessName(r)));
      files[year] += record;
    };
    for (int k = 0; k < n; ++k) {
      std::int64_t index = std::int64_t{k} * months / n;
      int year = first_year_ + static_cast<int>(index / 12);
      int month = static_cast<int>(index % 12) + 1;
      add(year, month);
      if (month == 12 && r.Percent(30)) add(year, 13);
    }
    for (const auto& [year, data] : files) {
      WriteFile(Format(format, companies_[c].code, year), l10::kLength, data);
    }
  }

  // Table 12: complements of about a third of the sales, in the sale's year.
  void WriteComplements(std::size_t c, const std::vector<Invoice>& invoices) {
    Random r = StreamFor(options_.seed, kComplementStream, c);
    Yearly files;
    for (const Invoice& invoice : invoices) {
      if (!r.Percent(35)) continue;
      std::string record(static_cast<std::size_t>(l12::kLength), ' ');
      // The fields that tie it to its invoice lie where the invoice has them.
      for (Field f : {l03::kDate, l03::kIssued, l03::kModel, l03::kSeries, l03::kNumber,
                      l03::kState, l03::kOrigin, l03::kIssuer, l03::kOperation}) {
        record.replace(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.width),
                       invoice.record, static_cast<std::size_t>(f.offset),
                       static_cast<std::size_t>(f.width));
      }
      Put(record, l12::kTotal, Money(Cents(r, 5, 400)));
      static constexpr std::string_view kCodes[] = {"01", "02", "10"};
      Put(record, l12::kCode, r.Pick(kCodes));
      Put(record, l12::kSubseries, Get(invoice.record, l03::kSubseries));
      Put(record, l12::kReference, r.Pick(kReferences));
      Put(record, l12::kDocument, Format("%06d", r.Between(1, 999999)));
      if (r.Percent(2)) record[l12::kDeleted] = '+';
      files[invoice.year] += record;
    }
    for (const auto& [year, data] : files) {
      WriteFile(Format("L12\\%sA%04d.dat", companies_[c].code, year), l12::kLength, data);
    }
  }

  // R63: one to three product items for half the sales.
  void AddProductItems(std::size_t c, const std::vector<Invoice>& invoices) {
    Random r = StreamFor(options_.seed, kProductItemStream, c);
    for (const Invoice& invoice : invoices) {
      if (!r.Percent(50)) continue;
      int items = r.Between(1, 3);
      for (int k = 0; k < items; ++k) {
        std::string record(static_cast<std::size_t>(r63::kLength), ' ');
        Put(record, r63::kCompany, companies_[c].code);
        Put(record, r63::kInvoice, Format("%d", invoice.number));
        Put(record, r63::kProduct, Format("789%011d", r.Below(1000000000)));
        static constexpr std::string_view kDigits[] = {"0", "0", "0", "1", "1", "3"};
        Put(record, r63::kDigit, r.Pick(kDigits));
        Put(record, r63::kMarker, r.Percent(20) ? "1" : "0");
        Put(record, r63::kOperation, Get(invoice.record, l03::kOperation));
        static constexpr std::string_view kTypes[] = {"000", "010", "060"};
        Put(record, r63::kType, r.Pick(kTypes));
        Put(record, r63::kCodes, "000150");
        Put(record, r63::kQuantity, Format("%d,000", r.Between(1, 12)));
        Put(record, r63::kValue, Money(Round2(invoice.goods / items)));
        Put(record, r63::kRate1, Get(invoice.record, l03::kRate4));
        Put(record, r63::kShare1, "100,00");
        Put(record, r63::kRate2, r.Percent(50) ? "1,65" : "0,65");
        Put(record, r63::kShare2, "100,00");
        if (r.Percent(20)) Put(record, r63::kRate3, "5,00");
        Put(record, r63::kFixed1, "0,65");
        Put(record, r63::kFixed2, "3,00");
        if (r.Percent(2)) record[r63::kDeleted] = '+';
        product_items_[invoice.year] += record;
      }
    }
  }

  // Tables 13 and 14: the balances of some accounts at the start and at the end of years.
  void WriteBalances(std::size_t c) {
    const int n = Count(options_.records, 8);
    const int years = last_year_ - first_year_ + 1;
    for (int table : {13, 14}) {
      Random r = StreamFor(options_.seed, table == 13 ? kOpening13Stream : kOpening14Stream, c);
      Yearly files;
      for (int k = 0; k < n; ++k) {
        int year = first_year_ + static_cast<int>(std::int64_t{k} * years / n);
        std::string record(static_cast<std::size_t>(l13::kLength), ' ');
        Put(record, l13::kDate, DateText(table == 13 ? Day{year, 1, 1} : Day{year, 12, 28}));
        const Account& account =
            kPostedAccounts[r.Below(static_cast<int>(std::size(kPostedAccounts)))];
        if (table == 13) {
          Put(record, l13::kLot, Format("%05d", k + 1));
          Put(record, l13::kAccount, account.code);
        } else {
          Put(record, l14::kAccount, account.code);
        }
        double amount = Cents(r, 0, 90000);
        Put(record, l13::kAmount, Money(r.Percent(30) ? -amount : amount));
        Put(record, l13::kText, Format("Saldo de %s", account.name));
        if (r.Percent(2)) record[l13::kDeleted] = '+';
        files[year] += record;
      }
      WriteYearly(files, table == 13 ? "%s\\L13%04d.DAT" : "%s\\L14%04d.DAT", companies_[c].code,
                  l13::kLength);
    }
  }

  // Table 15: the products, with the rate pair of table 16 each takes (a letter there in
  // the older form, "S" for products sold by the piece).
  void WriteProducts(std::size_t c) {
    Random r = StreamFor(options_.seed, kProductStream, c);
    const int n = Count(options_.records, 2);
    if (n <= 0) return;
    std::string data;
    for (int i = 0; i < n; ++i) {
      std::string record(static_cast<std::size_t>(l15::kLength), ' ');
      std::string_view name = r.Pick(kProducts);
      std::string supplier = BusinessName(r);
      Put(record, l15::kCode, Format("%06d", i + 1));
      Put(record, l15::kName, name);
      Put(record, l15::kSold, r.Percent(80) ? "S" : "N");
      Put(record, l15::kBarcode, Format("789%010d", r.Below(1000000000)));
      Put(record, l15::kLongName, Format("%s - %s", name, supplier));
      Put(record, l15::kTaxed, r.Percent(70) ? "1" : "0");
      double price = Cents(r, 1, 900);
      Put(record, l15::kPrice, Money(price));
      Put(record, l15::kPrice2, Money(Round2(price * 0.95)));
      Put(record, l15::kCost, Money(Round2(price * 0.6)));
      int pick = r.Below(100);
      Put(record, l15::kRateIndex,
          pick < 85   ? Format("%02d", r.Between(1, 16))
          : pick < 90 ? "17"
          : pick < 96 ? "S"
                      : "X");
      Put(record, l15::kMinimum, Format("%d,000", r.Between(1, 50)));
      Put(record, l15::kStock, Format("%d,000", r.Between(0, 900)));
      Put(record, l15::kReserved, Format("%d,000", r.Between(0, 20)));
      Put(record, l15::kRate1, r.Pick(kIcmsRates));
      Put(record, l15::kRate2, "12,00");
      static constexpr std::string_view kUnits[] = {"UN", "KG", "CX", "PC", "LT"};
      Put(record, l15::kUnit, r.Pick(kUnits));
      static constexpr std::string_view kTaxCodes[] = {"000", "060", "040", "010"};
      Put(record, l15::kTaxCode, r.Pick(kTaxCodes));
      Put(record, l15::kGroup, Format("%06d", r.Between(1, 40)));
      Put(record, l15::kNcm, Format("%08d", r.Below(100000000)));
      Put(record, l15::kSupplier, supplier);
      if (r.Percent(30)) Put(record, l15::kRate3, "5,00");
      data += record;
    }
    WriteFile(Format("%s\\L15.DAT", companies_[c].code), l15::kLength, data);
  }

  void WriteRates(std::size_t c) {
    std::string data;
    for (const auto& [first, second] : kRatePairs) {
      data += Format("%-5s%-2s%-13s", first, "", second);
    }
    WriteFile(Format("%s\\L16.DAT", companies_[c].code), l16::kEntry, data);
  }

  // Table 17: service invoices, the tax worked out from base and rate by split-ledgers.
  void WriteServices(std::size_t c) {
    Random r = StreamFor(options_.seed, kServiceStream, c);
    const int n = Count(options_.records, 2);
    Yearly files;
    for (int i = 0; i < n; ++i) {
      Day day = DayOf(r, i, n);
      std::string record(static_cast<std::size_t>(l17::kLength), ' ');
      Put(record, l17::kDate, DateText(day));
      Put(record, l17::kService, Format("%06d", r.Between(1, 999)));
      Put(record, l17::kText, r.Pick(kServices));
      Put(record, l17::kBase, Money(Cents(r, 50, 15000)));
      static constexpr std::string_view kRates[] = {"5,00", "2,00", "3,00", "2,50"};
      Put(record, l17::kRate, r.Pick(kRates));
      Put(record, l17::kCustomer, r.Percent(60) ? BusinessName(r) : PersonName(r));
      files[day.year] += record;
    }
    WriteYearly(files, "%s\\L17%04d.DAT", companies_[c].code, l17::kLength);
  }

  void WriteBanks(std::size_t c) {
    Random r = StreamFor(options_.seed, kBankStream, c);
    const int n = Count(options_.records, 4);
    if (n <= 0) return;
    std::string data;
    for (int i = 0; i < n; ++i) {
      std::string record(static_cast<std::size_t>(g24::kLength), ' ');
      Put(record, g24::kBank, r.Pick(kBanks));
      Put(record, g24::kBranch, Format("%04d-%d", r.Below(10000), r.Below(10)));
      Put(record, g24::kAccount, Format("%05d-%d", r.Below(100000), r.Below(10)));
      Put(record, g24::kHolder, BusinessName(r));
      Put(record, g24::kCity, PickCity(r).name);
      if (r.Percent(3)) record[g24::kDeleted] = '+';
      data += record;
    }
    WriteFile(Format("%s\\G24.DAT", companies_[c].code), g24::kLength, data);
  }

  void WriteCollected() {
    WriteFile("f0dp.dat", f0dp::kLength, departments_);
    WriteFile("f3.dat", f3::kLength, printers_);
  }

  void WriteProductItems() {
    MakeFolder(kProductFolder);
    for (const auto& [year, data] : product_items_) {
      WriteFile(Format("%s\\%04d.DAT", kProductFolder, year), r63::kLength, data);
    }
  }

  // F08.DAT: table 8 before its revision 1, in the layout that F08R1.DAT keeps.
  void WritePhoneTable() {
    std::string data;
    for (int n = 0; n < options_.phone_records; ++n) {
      Random r = StreamFor(options_.seed, kPhoneTableStream, static_cast<std::uint64_t>(n));
      const City& city = PickCity(r);
      std::string record(static_cast<std::size_t>(f08::kLength), ' ');
      Put(record, f08::kCode, Format("%06d", n + 1));
      Put(record, f08::kName, r.Percent(50) ? BusinessName(r) : PersonName(r));
      Put(record, f08::kAddress, sample::Address(r));
      Put(record, f08::kCity, city.name);
      Put(record, f08::kState, city.state);
      Put(record, f08::kPostCode, Format("%05d-%03d", r.Below(100000), r.Below(1000)));
      Put(record, f08::kTaxNumber, sample::TaxNumber(r));
      auto [phone1, phone2] = OldPhones(r, city.area_code);
      Put(record, f08::kPhone1, phone1);
      Put(record, f08::kPhone2, phone2);
      Put(record, f08::kContact, PersonName(r));
      if (r.Percent(5)) record.back() = '+';
      data += record;
    }
    WriteFile("F08.DAT", f08::kLength, data);
  }

  // F25R0.DAT: codes of three digits, which chart-r1 widens to five; a few have five
  // already and one has two.
  void WriteAccountsTable() {
    static constexpr Account kGroups[] = {{"101", "Caixa e bancos"},
                                          {"102", "Aplicações financeiras"},
                                          {"110", "Clientes"},
                                          {"120", "Estoques"},
                                          {"201", "Fornecedores"},
                                          {"210", "Obrigações fiscais"},
                                          {"220", "Obrigações trabalhistas"},
                                          {"301", "Receita de vendas"},
                                          {"302", "Receita de serviços"},
                                          {"401", "Custo das mercadorias"},
                                          {"410", "Despesas administrativas"},
                                          {"420", "Despesas financeiras"},
                                          {"00501", "Resultado do exercício"},
                                          {"00502", "Lucros acumulados"},
                                          {"12", "Ajustes"}};
    std::string data;
    for (const Account& account : kGroups) {
      std::string record(static_cast<std::size_t>(f25::kLength), ' ');
      Put(record, f25::kCode, account.code);
      Put(record, f25::kName, account.name);
      data += record;
    }
    WriteFile("F25R0.DAT", f25::kLength, data);
  }

  // CONFIGA.DAT: the counters of the older versions (the third one never used).
  void WriteOldCounters() {
    Random r = StreamFor(options_.seed, kCounterStream);
    std::string data = Format("%11d%11d%11d%11d", r.Between(100, 99999), r.Between(10, 9999), 0,
                              r.Between(1, 999));
    WriteFile("CONFIGA.DAT", kOldCounterLength, data);
  }

  // What older versions and an older sibling product left: files, the folder R02 and six
  // folders of their own.
  void WriteLeftovers() {
    for (std::string_view name : kObsoleteFiles) {
      WriteFile(std::string(name), 60, Format("%-60s", Format("%s - versão 2.40", name)));
    }
    MakeFolder("R02");
    for (std::string_view name : kReportFiles) {
      WriteFile(std::string(name), 80, Format("%-80s", "Relatório de uma versão anterior"));
    }
    for (std::string_view folder : kObsoleteFolders) {
      MakeFolder(folder);
      WriteFile(Format("%s\\%s.dat", folder, folder), 60,
                Format("%-60s", Format("Dados antigos de %s", folder)));
    }
  }

  platform::FileSystem& fs_;
  const SampleOptions& options_;
  SampleResult result_;
  int first_year_ = 0, last_year_ = 0;
  std::vector<Company> companies_;
  std::string departments_, printers_;
  Yearly product_items_;
};

}  // namespace

SampleResult WriteOldestFolder(platform::FileSystem& fs, const SampleOptions& options) {
  return OldestWriter(fs, options).Write();
}

}  // namespace livrana
