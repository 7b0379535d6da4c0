# shellcheck shell=bash
# Input data folders for the cases of fault_harness.sh that the sample writer cannot make
# (yet). Each function writes a small data folder into the (empty) folder $1. Sourced by
# fault_harness.sh; the case list names them as "setup NAME".

# record WIDTH [OFFSET TEXT]...: one record of WIDTH bytes, spaces except for the texts.
record() {
  local width=$1 r
  shift
  printf -v r '%*s' "$width" ''
  while (($# >= 2)); do
    local offset=$1 text=$2
    shift 2
    r="${r:0:offset}${text}${r:offset+${#text}}"
  done
  printf '%s' "${r:0:width}"
}

# The oldest layout, for import-old-files: the register F0.DAT, the lowercase tables
# f1, f2, f0dp, f3 and group00, and the type folders with one company's files.
setup_oldest() {
  local d=$1
  record 700 0 0001 11 "Livraria Central" 545 03 >"$d/F0.DAT"
  record 700 0 0002 11 "Papelaria Rosa Norte" 545 04 >>"$d/F0.DAT"
  record 700 0 "cliente Joaquim Barbosa" 290 "(011) 5555-0101" >"$d/f1.dat"
  record 700 0 "cliente Maria Aparecida" 290 "(021) 3333-0202" >>"$d/f1.dat"
  record 700 0 "fornecedor Atacado Sul" 320 "(051) 4444-0303" >"$d/f2.dat"
  record 51 0 "departamento vendas" 41 0001 >"$d/f0dp.dat"
  record 51 0 "departamento compras" 41 0002 >>"$d/f0dp.dat"
  record 142 0 0001 11 "tabela123" 21 "precos de balcao" >"$d/f3.dat"
  record 52 0 "grupo mercadorias" >"$d/group00.dat"
  record 52 0 "grupo servicos" >"$d/group01.dat"
  local folder
  for folder in G01 G04 G06 L01 L02 L03 data daen2 dasa2; do mkdir "$d/$folder"; done
  {
    record 227 0 "10/04/1998" 20 "lancamento abril" 133 "10,00" 149 "25,00"
    record 227 0 "11/05/1998" 20 "lancamento maio" 133 "12,50" 149 "30,00"
  } >"$d/data/0001.dat"
  record 549 0 "05/05/1998" 20 "entrada balcao" 115 5 >"$d/daen2/00012.dat"
  record 549 0 "06/06/1998" 20 "saida balcao" 115 0 >"$d/dasa2/00012.dat"
}

# The chart of accounts of revision 0, for chart-r1: F20R0.DAT with a deleted record, F08.DAT
# to be renamed, F25R0.DAT with 3-character codes, and an F20R0.BAK already there, so that
# the old chart goes to the safety folder.
setup_chart() {
  local d=$1
  {
    record 209 0 "1.1.01.001 Caixa geral" 51 A 52 "Ativo circulante" 68 D 71 "0000000101" \
      103 "CAIXA" 113 "1.1.01.001" 172 1 173 ABC 176 "saldo inicial" 191 S 192 "saldo final" 207 N
    record 209 0 "1.01.002 Bancos conta movimento" 52 "Ativo bancos" 68 D 71 "0000000102" \
      113 "1.01.002" 172 4 173 DEF 176 "conciliado" 191 S
    record 209 0 "2.1.01.001 Fornecedores antigos" 113 "2.1.01.001" 172 2 208 "+"
    record 209 0 "3.1.01.001 Receita de vendas" 52 "Receitas" 68 C 113 "3.1.01.001" 172 6 \
      176 "apuracao mensal"
  } >"$d/F20R0.DAT"
  record 100 0 "F20R0 copia anterior" >"$d/F20R0.BAK"
  record 1000 0 "0000000001" 10 "Transportadora Rapido Sul" 290 "(048) 3222-1111" >"$d/F08.DAT"
  {
    record 557 0 123 10 "Historico padrao vendas"
    record 557 0 12345 10 "Historico padrao compras"
    record 557 0 " 45" 10 "Historico padrao ajuste"
  } >"$d/F25R0.DAT"
}

# A data folder with obsolete files and folders, for remove-obsolete: some of the listed
# files, R02 with record files (one of whose names R60 already holds, so that the folder
# rename fails and the files move one by one), and two obsolete folders with files.
setup_obsolete() {
  local d=$1 name
  for name in check01.dat CONF0.SAT config1.dat F25.DAT his01.dat pmovo01.txt Pmovo.hlp; do
    record 64 0 "obsoleto $name" >"$d/$name"
  done
  record 557 0 "00123" 10 "Historico mantido" >"$d/F25R0.DAT"
  mkdir "$d/R02" "$d/R60" "$d/daen" "$d/valida"
  record 300 0 "R02 tabela um" >"$d/R02/T01.DAT"
  record 300 0 "R02 tabela dois" >"$d/R02/T02.DAT"
  record 300 0 "R02 texto nao movido" >"$d/R02/notas.txt"
  record 300 0 "R60 tabela um anterior" >"$d/R60/T01.DAT"
  record 200 0 "entrada antiga janeiro" >"$d/daen/00011.dat"
  record 200 0 "entrada antiga fevereiro" >"$d/daen/00012.dat"
  mkdir "$d/valida/sub"
  record 80 0 "regra de validacao" >"$d/valida/sub/regras.dat"
}
